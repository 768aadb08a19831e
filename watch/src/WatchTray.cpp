#include "watch/WatchTray.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QSystemTrayIcon>

namespace {

constexpr int kMenuColumns = 100;
const char kTitle[] = "Tavon Datalogging: downloading instruments as they connect";

// A log line as a menu entry: "&" would otherwise be taken for a shortcut mark, and a long
// cause would make the menu wider than the screen.
QString MenuText(const QString& line) {
    QString text = line.size() > kMenuColumns ? line.left(kMenuColumns - 1) + QChar(0x2026) : line;
    return text.replace('&', "&&");
}

} // namespace

WatchTray::WatchTray(QObject* parent) : QObject(parent), m_quit(new QAction("Quit", this)) {
    connect(m_quit, &QAction::triggered, this, &WatchTray::Quit);
    // A menu open on the screen is left as it is; it gets the new events the next time.
    connect(&m_menu, &QMenu::aboutToShow, this, &WatchTray::Rebuild);
    Rebuild();
}

WatchTray::~WatchTray() = default;

bool WatchTray::ShowIcon(const QIcon& icon) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    m_icon = std::make_unique<QSystemTrayIcon>(icon);
    m_icon->setContextMenu(&m_menu);
    m_icon->setToolTip(kTitle);
    // A click shows the menu too, not only the right button: the events are what one looks for.
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    m_menu.popup(QCursor::pos());
                }
            });
    m_icon->show();
    return true;
}

void WatchTray::AddEvent(const std::string& line) {
    m_events.push_back(QString::fromLocal8Bit(line.c_str()));
    while (m_events.size() > static_cast<size_t>(kEventsShown)) {
        m_events.pop_front();
    }
    if (m_icon) {
        // The tooltip's length is limited on Windows (127 characters).
        m_icon->setToolTip(m_events.back().left(127));
    }
    if (!m_menu.isVisible()) {
        Rebuild();
    }
}

void WatchTray::SetStop(std::function<void()> stop) {
    m_stop = std::move(stop);
}

void WatchTray::Rebuild() {
    m_menu.clear(); // deletes the event entries it owns; Quit is ours
    if (m_events.empty()) {
        m_menu.addAction("No events yet")->setEnabled(false);
    }
    for (const QString& line : m_events) {
        QAction* entry = m_menu.addAction(MenuText(line));
        entry->setToolTip(line);
        entry->setEnabled(false);
    }
    m_menu.addSeparator();
    m_menu.addAction(m_quit);
}

void WatchTray::Quit() {
    m_quit->setEnabled(false);
    if (m_stop) {
        m_stop();
    } else {
        QCoreApplication::quit();
    }
}
