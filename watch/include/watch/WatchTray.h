#pragma once

#include <QMenu>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QIcon;
class QSystemTrayIcon;

// The watcher's face in the notification area: an icon whose tooltip is the last event, and whose
// menu lists the last events and Quit. Quit stops the watcher as SIGTERM does the console one:
// an upload under way ends cleanly, then the watcher returns.
class WatchTray : public QObject {
    Q_OBJECT
public:
    static constexpr int kEventsShown = 10;

    explicit WatchTray(QObject* parent = nullptr);
    ~WatchTray() override;

    // Shows the icon where the system has a notification area; false where it has none (the
    // watcher then runs without it, as the console one does).
    bool ShowIcon(const QIcon& icon);
    // One line of the watcher's log, as it was written.
    void AddEvent(const std::string& line);
    // What Quit calls while the watcher runs; null once it has returned (Quit then just ends the
    // event loop).
    void SetStop(std::function<void()> stop);

    // The icon's menu: the last events (oldest first, each greyed out) and Quit.
    QMenu& Menu() { return m_menu; }

private:
    void Rebuild();
    void Quit();

    QMenu m_menu;
    QAction* m_quit;
    std::deque<QString> m_events;
    std::function<void()> m_stop;
    std::unique_ptr<QSystemTrayIcon> m_icon;
};
