#include "settings/udisks_format.h"

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QVariantMap>

#include <limits>

#include "platform/trace.h"

namespace {

constexpr char kManagerPath[] = "/org/freedesktop/UDisks2/Manager";
constexpr char kManagerInterface[] = "org.freedesktop.UDisks2.Manager";
constexpr char kBlockInterface[] = "org.freedesktop.UDisks2.Block";
constexpr char kFilesystemInterface[] = "org.freedesktop.UDisks2.Filesystem";

// A full format of a large card takes long; the service answers when it is done.
constexpr int kFormatTimeoutMs = std::numeric_limits<int>::max();
constexpr int kStepTimeoutMs = 120000;

QVariantMap Interactive()
{
    // The policy agent may ask the user for a password.
    return {{"auth.no_user_interaction", false}};
}

} // namespace

QDBusMessage UDisksResolveDeviceMessage(const QString &devicePath)
{
    QDBusMessage message = QDBusMessage::createMethodCall(UDISKS_SERVICE, kManagerPath,
                                                          kManagerInterface, "ResolveDevice");
    message << QVariantMap{{"path", devicePath}} << QVariantMap{};
    return message;
}

QDBusMessage UDisksUnmountMessage(const QString &objectPath)
{
    QDBusMessage message = QDBusMessage::createMethodCall(UDISKS_SERVICE, objectPath,
                                                          kFilesystemInterface, "Unmount");
    message << Interactive();
    return message;
}

QDBusMessage UDisksFormatMessage(const QString &objectPath, const FORMAT_CHOICE &choice)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(UDISKS_SERVICE, objectPath, kBlockInterface, "Format");
    QVariantMap options = Interactive();
    const std::string label = CardLabel(choice.strLabel);
    if (!label.empty())
        options.insert("label", QString::fromStdString(label));
    if (!choice.bQuick)
        options.insert("erase", QString("zero"));
    message << QString(choice.fileSystem == CardFileSystem::ExFat ? "exfat" : "vfat") << options;
    return message;
}

QDBusMessage UDisksMountMessage(const QString &objectPath)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(UDISKS_SERVICE, objectPath, kFilesystemInterface, "Mount");
    message << Interactive();
    return message;
}

int UDisksErrorResult(UDisksStep step, const QString &errorName)
{
    if (errorName == "org.freedesktop.UDisks2.Error.Cancelled" ||
        errorName == "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed")
        return FORMAT_CANCELLED;
    if (step == UDisksStep::Unmount && errorName == "org.freedesktop.UDisks2.Error.NotMounted")
        return FORMAT_OK;
    // No service, no answer, no permission: nothing was done to the card.
    if (errorName.startsWith("org.freedesktop.DBus.Error.") ||
        errorName.startsWith("org.freedesktop.UDisks2.Error.NotAuthorized"))
        return step == UDisksStep::Mount ? FORMAT_NOT_REMOUNTED : FORMAT_ERROR;
    switch (step) {
    case UDisksStep::Resolve:
        return FORMAT_ERROR;
    case UDisksStep::Unmount:
    case UDisksStep::Format:
        return FORMAT_NOFORMAT;
    case UDisksStep::Mount:
        return FORMAT_NOT_REMOUNTED;
    }
    return FORMAT_ERROR;
}

bool UDisksAvailable(const QDBusConnection &bus)
{
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    if (bus.interface()->isServiceRegistered(UDISKS_SERVICE))
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(UDISKS_SERVICE);
}

int CUDisksFormatter::Format(const std::string &mountPoint, const FORMAT_CHOICE &choice,
                             std::string *newMountPoint)
{
    if (!m_Bus.isConnected())
        return FORMAT_ERROR;
    const std::string device = BlockDeviceOfMount(mountPoint, ReadMountInfo());
    if (device.empty())
        return FORMAT_ERROR;
    auto failed = [](UDisksStep step, const QDBusMessage &reply) -> int {
        if (reply.type() != QDBusMessage::ErrorMessage)
            return FORMAT_OK;
        TraceA("UDisks2: %s %s\n", reply.errorName().toUtf8().constData(),
               reply.errorMessage().toUtf8().constData());
        return UDisksErrorResult(step, reply.errorName());
    };

    const QDBusMessage resolved =
        m_Bus.call(UDisksResolveDeviceMessage(QString::fromStdString(device)), QDBus::Block,
                   kStepTimeoutMs);
    if (int result = failed(UDisksStep::Resolve, resolved); result != FORMAT_OK)
        return result;
    const QList<QDBusObjectPath> objects =
        resolved.arguments().isEmpty()
            ? QList<QDBusObjectPath>{}
            : qdbus_cast<QList<QDBusObjectPath>>(resolved.arguments().constFirst());
    if (objects.isEmpty())
        return FORMAT_ERROR;
    const QString object = objects.constFirst().path();

    if (int result = failed(UDisksStep::Unmount,
                            m_Bus.call(UDisksUnmountMessage(object), QDBus::Block, kStepTimeoutMs));
        result != FORMAT_OK)
        return result;
    if (int result = failed(UDisksStep::Format, m_Bus.call(UDisksFormatMessage(object, choice),
                                                           QDBus::Block, kFormatTimeoutMs));
        result != FORMAT_OK)
        return result;
    const QDBusMessage mounted = m_Bus.call(UDisksMountMessage(object), QDBus::Block, kStepTimeoutMs);
    if (int result = failed(UDisksStep::Mount, mounted); result != FORMAT_OK)
        return result;
    const QString where = mounted.arguments().isEmpty() ? QString()
                                                        : mounted.arguments().constFirst().toString();
    if (where.isEmpty())
        return FORMAT_NOT_REMOUNTED;
    if (newMountPoint)
        *newMountPoint = where.endsWith('/') ? where.toStdString() : where.toStdString() + "/";
    return FORMAT_OK;
}
