#include "linkselect/LinkSelection.h"

#include "linkselect/LinkOpener.h"
#include "linkselect/PortDialogHost.h"
#include "linkselect/PortDialogLogic.h"
#include "linkselect/Registry.h"
#include "linkselect/StandardErrorPrompt.h"

#include <QApplication>
#include <QMessageBox>

namespace {

class DefaultPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
            // A plain box with an OK button, owned by no window.
            QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(caption.c_str()),
                            QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
            box.exec();
        } else {
            StandardErrorPrompt().Show(text, caption);
        }
    }
};

} // namespace

struct LinkSelection::Impl {
    PortDialogLogic dialog;
    std::string appName;
    UserPrompt* prompt = nullptr;
    Registry* registry = nullptr;
    LinkOpener* opener = nullptr;
    PortDialogHost* host = nullptr;
    std::function<void()> end;
    bool declined = false;

    std::unique_ptr<Registry> platformRegistry;
    SystemLinkOpener systemOpener;
    WidgetPortDialogHost widgetHost;
    ConsolePortDialogHost consoleHost;

    UserPrompt& Prompt() { return prompt ? *prompt : SystemUserPrompt(); }
    LinkOpener& Opener() { return opener ? *opener : systemOpener; }
    PortDialogHost& Host() {
        if (host) {
            return *host;
        }
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
            return widgetHost;
        }
        return consoleHost;
    }
    Registry* CurrentRegistry() {
        if (registry) {
            return registry;
        }
        if (!platformRegistry) {
            platformRegistry = MakePlatformRegistry();
        }
        return platformRegistry.get();
    }

    // The hooks may change between calls; the dialog always works with the current ones.
    void Prepare() {
        dialog.SetRegistry(CurrentRegistry());
        dialog.SetLinkOpener(&Opener());
        dialog.SetFatalHandler([this](const std::string& text) {
            // The library's own name stands as the box's caption, as for every unnamed box.
            Prompt().Show(text, "LinkSelect");
            if (end) {
                end();
            }
        });
    }

    LinkPtr OpenPipe() {
        LinkPtr pipe = Opener().OpenPipe();
        // Bytes already waiting mean someone else is, or was, talking on this pipe; the user is
        // told, and the pipe is used all the same.
        if (pipe && pipe->BytesWaiting() > 0) {
            Prompt().Show("data in pipe", "Warning");
        }
        return pipe;
    }
};

LinkSelection::LinkSelection() : m_impl(new Impl) {}

LinkSelection::~LinkSelection() = default;

void LinkSelection::SetParentApp(const AppInfo& app) {
    m_impl->appName = app.name;
    m_impl->dialog.SetKeySuffix(app.commandLine);
}

void LinkSelection::AddStaticText(const std::string& text) {
    m_impl->dialog.SetCaptionText(text);
}

void LinkSelection::AddPortName(const std::string& name) {
    m_impl->dialog.AddPortName(name);
}

LinkPtr LinkSelection::GetPort() {
    Impl& impl = *m_impl;
    impl.Prepare();
    impl.declined = false;
    if (impl.appName.find("RAK") == std::string::npos) {
        if (LinkPtr pipe = impl.OpenPipe()) {
            return pipe;
        }
    }
    const int result = impl.Host().RunModal(impl.dialog);
    LinkPtr link = impl.dialog.CurrentLink();
    impl.declined = !link && result != PortDialogLogic::kIdOk;
    return link;
}

bool LinkSelection::Declined() const {
    return m_impl->declined;
}

LinkPtr LinkSelection::SetPort() {
    Impl& impl = *m_impl;
    impl.Prepare();
    if (LinkPtr pipe = impl.OpenPipe()) {
        return pipe;
    }
    return impl.dialog.OpenSelectionNow();
}

void LinkSelection::SetUserPrompt(UserPrompt* prompt) {
    m_impl->prompt = prompt;
}

void LinkSelection::SetRegistry(Registry* registry) {
    m_impl->registry = registry;
}

void LinkSelection::SetLinkOpener(LinkOpener* opener) {
    m_impl->opener = opener;
}

void LinkSelection::SetDialogHost(PortDialogHost* host) {
    m_impl->host = host;
}

void LinkSelection::SetFatalEnd(std::function<void()> end) {
    m_impl->end = std::move(end);
}

void LinkSelection::Reset() {
    m_impl->dialog.Reset();
    m_impl->appName.clear();
}

LinkSelection& ModuleLinkSelection() {
    // Never destroyed: links and Qt objects must not be torn down after the application object.
    static LinkSelection* const selection = new LinkSelection;
    return *selection;
}

UserPrompt& SystemUserPrompt() {
    static DefaultPrompt prompt;
    return prompt;
}
