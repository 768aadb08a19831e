#include "BluezDevices.h"

#include <QAtomicInteger>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusReply>

#include <cstdlib>

namespace {

constexpr char kService[] = "org.bluez";
constexpr char kDeviceInterface[] = "org.bluez.Device1";
// Discovery waits for this at most, on the thread that shows the dialog.
constexpr int kCallTimeoutMs = 2000;

// A connection of our own for the length of one question: the shared system-bus connection would
// keep whatever address it first saw, and a dialog opened again must see BlueZ come and go.
class PrivateConnection {
public:
    explicit PrivateConnection(const std::string& address)
        : m_name(QStringLiteral("tavon-bluez-%1").arg(NextNumber())),
          m_connection(QDBusConnection::connectToBus(QString::fromStdString(address), m_name)) {}
    ~PrivateConnection() { QDBusConnection::disconnectFromBus(m_name); }
    PrivateConnection(const PrivateConnection&) = delete;
    PrivateConnection& operator=(const PrivateConnection&) = delete;

    QDBusConnection& Get() { return m_connection; }

private:
    static int NextNumber() {
        static QAtomicInteger<int> counter;
        return counter.fetchAndAddRelaxed(1);
    }
    QString m_name;
    QDBusConnection m_connection;
};

} // namespace

void RegisterBluezTypes() {
    qDBusRegisterMetaType<BluezInterfaces>();
    qDBusRegisterMetaType<BluezObjects>();
}

std::string SystemBusAddress() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address != nullptr && *address != '\0' ? address
                                                  : "unix:path=/run/dbus/system_bus_socket";
}

bool ReadBluezPairedDevices(const std::string& busAddress, std::vector<PairedDevice>& devices) {
    devices.clear();
    RegisterBluezTypes();
    PrivateConnection connection(busAddress);
    QDBusConnection& bus = connection.Get();
    if (!bus.isConnected() || bus.interface() == nullptr ||
        !bus.interface()->isServiceRegistered(kService).value()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, "/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects");
    const QDBusReply<BluezObjects> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        return false;
    }
    const BluezObjects objects = reply.value();
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const auto device = object.value().constFind(kDeviceInterface);
        if (device == object.value().cend()) {
            continue;
        }
        const QVariantMap& properties = device.value();
        // Only a paired device has a serial link bound to it; one merely seen nearby does not.
        if (!properties.value("Paired").toBool() || !properties.contains("Name")) {
            continue;
        }
        devices.push_back({properties.value("Address").toString().toStdString(),
                           properties.value("Name").toString().toStdString()});
    }
    return true;
}
