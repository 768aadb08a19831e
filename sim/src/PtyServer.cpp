#include "PtyServer.h"

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyServer::PtyServer(sim::Instrument& instrument, LinkPump& pump, QObject* parent)
    : QObject(parent), m_instrument(instrument), m_pump(pump) {}

PtyServer::~PtyServer() {
    m_pump.SetWriter(nullptr);
    delete m_notifier;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyServer::Start(QString& error) {
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        error = QStringLiteral("openpty failed: ") + QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    // Raw, so that no CR LF translation or echo touches the frames. Our own copy of the slave
    // stays open, so the master keeps working while no program holds the port.
    termios tio{};
    if (::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_path = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyServer::OnReadable);
    const int fd = m_master;
    m_pump.SetWriter([fd](const uint8_t* data, qint64 length) -> qint64 {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(length));
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
        return n;
    });
    return true;
}

void PtyServer::OnReadable() {
    uint8_t buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_instrument.Receive(buffer, static_cast<size_t>(n));
    }
}
