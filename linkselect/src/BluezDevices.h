#pragma once

#include <QDBusObjectPath>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

#include <string>
#include <vector>

// What BlueZ's object manager returns: every object with its interfaces and their properties.
using BluezInterfaces = QMap<QString, QVariantMap>;
using BluezObjects = QMap<QDBusObjectPath, BluezInterfaces>;
Q_DECLARE_METATYPE(BluezInterfaces)
Q_DECLARE_METATYPE(BluezObjects)

// Makes the two types above known to Qt D-Bus; safe to call more than once.
void RegisterBluezTypes();

struct PairedDevice {
    std::string address; // as BlueZ writes it, "00:11:22:AA:BB:CC"
    std::string name;
};

// The devices paired with any adapter, in object path order, asked of the BlueZ daemon on the bus
// at `busAddress` (a D-Bus address such as "unix:path=/run/dbus/system_bus_socket"). False when
// the bus cannot be reached or nobody there answers for BlueZ; `devices` is then empty.
bool ReadBluezPairedDevices(const std::string& busAddress, std::vector<PairedDevice>& devices);

// The address of the system bus: $DBUS_SYSTEM_BUS_ADDRESS, else its well-known socket.
std::string SystemBusAddress();
