#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

#include "settings/card_format.h"

// The card format through the UDisks2 disk service on the system bus: find the card's block
// object from its device, unmount it, Block.Format, mount it again (the service picks the new
// mount point). Works without root where the desktop's policy lets the user format
// removable media.
inline constexpr char UDISKS_SERVICE[] = "org.freedesktop.UDisks2";

QDBusMessage UDisksResolveDeviceMessage(const QString &devicePath);
QDBusMessage UDisksUnmountMessage(const QString &objectPath);
QDBusMessage UDisksFormatMessage(const QString &objectPath, const FORMAT_CHOICE &choice);
QDBusMessage UDisksMountMessage(const QString &objectPath);

enum class UDisksStep
{
    Resolve,
    Unmount,
    Format,
    Mount,
};

// The FORMAT_ result for a D-Bus error met at a step; FORMAT_OK for an error the step may
// ignore (unmounting a card that is not mounted).
int UDisksErrorResult(UDisksStep step, const QString &errorName);

// True when the system bus answers and the disk service is running or can be started.
bool UDisksAvailable(const QDBusConnection &bus);

class CUDisksFormatter : public CCardFormatter
{
public:
    explicit CUDisksFormatter(QDBusConnection bus = QDBusConnection::systemBus())
        : m_Bus(std::move(bus))
    {
    }
    int Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
               std::string *newMountPoint) override;

private:
    QDBusConnection m_Bus;
};
