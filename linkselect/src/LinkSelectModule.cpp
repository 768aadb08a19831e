#include "linkselect/LinkSelect.h"

#include "linkselect/LinkOpener.h"
#include "linkselect/PortDialogHost.h"
#include "linkselect/PortDialogLogic.h"
#include "linkselect/Registry.h"
#include "linkselect/StandardErrorPrompt.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

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

void EndProcess() {
    std::fflush(nullptr);
    std::_Exit(0);
}

// The library's module-wide state: the one selection dialog and the platform it runs on.
struct Module {
    PortDialogLogic dialog;
    std::string appName;
    UserPrompt* prompt = nullptr;
    Registry* registry = nullptr;
    LinkOpener* opener = nullptr;
    PortDialogHost* host = nullptr;
    void (*end)() = nullptr;

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
            (end ? end : EndProcess)();
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

// Never destroyed: links and Qt objects must not be torn down after the application object.
Module& TheModule() {
    static Module* module = new Module;
    return *module;
}

} // namespace

UserPrompt& SystemUserPrompt() {
    static DefaultPrompt prompt;
    return prompt;
}

void CLinkSelect::SetParentApp(const AppInfo& app) {
    TheModule().appName = app.name;
    TheModule().dialog.SetKeySuffix(app.commandLine);
}

void CLinkSelect::AddStaticText(const std::string& text) {
    TheModule().dialog.SetCaptionText(text);
}

void CLinkSelect::AddPortName(const std::string& name) {
    TheModule().dialog.AddPortName(name);
}

LinkPtr CLinkSelect::GetPort() {
    Module& module = TheModule();
    module.Prepare();
    if (module.appName.find("RAK") == std::string::npos) {
        if (LinkPtr pipe = module.OpenPipe()) {
            return pipe;
        }
    }
    module.Host().RunModal(module.dialog);
    return module.dialog.CurrentLink();
}

LinkPtr CLinkSelect::SetPort() {
    Module& module = TheModule();
    module.Prepare();
    if (LinkPtr pipe = module.OpenPipe()) {
        return pipe;
    }
    return module.dialog.OpenSelectionNow();
}

void CLinkSelect::SetUserPrompt(UserPrompt* prompt) {
    TheModule().prompt = prompt;
}
void CLinkSelect::SetRegistry(Registry* registry) {
    TheModule().registry = registry;
}
void CLinkSelect::SetLinkOpener(LinkOpener* opener) {
    TheModule().opener = opener;
}
void CLinkSelect::SetDialogHost(PortDialogHost* host) {
    TheModule().host = host;
}
void CLinkSelect::SetProcessEnd(void (*end)()) {
    TheModule().end = end;
}

void CLinkSelect::ResetModuleState() {
    Module& module = TheModule();
    module.dialog.Reset();
    module.appName.clear();
}
