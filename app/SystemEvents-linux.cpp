#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QSocketNotifier>
#include <QTimer>

#include "SystemEvents.h"

namespace quorvane {

namespace {

// Addresses and links come and go in bursts while a network settles: one check after it.
constexpr int kNetworkSettleMs = 1500;

}  // namespace

// logind's PrepareForSleep(false) on the system bus after a wake; NetworkManager's state and
// connectivity changes there; the kernel's route netlink messages for links and addresses.
// Without a system bus, or without either service, the others still tell.
class SystemEvents::Watch : public QObject {
public:
    explicit Watch(SystemEvents* events) : QObject(events), events_(events) {
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.connect(QStringLiteral("org.freedesktop.login1"),
                    QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"),
                    QStringLiteral("PrepareForSleep"), events, SLOT(prepareForSleep(bool)));
        const QString networkManager = QStringLiteral("org.freedesktop.NetworkManager");
        const QString networkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
        bus.connect(networkManager, networkManagerPath, networkManager,
                    QStringLiteral("StateChanged"), events, SLOT(networkStateChanged(uint)));
        bus.connect(networkManager, networkManagerPath,
                    QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), events,
                    SLOT(networkPropertiesChanged(QString, QVariantMap, QStringList)));
        connect(events, &SystemEvents::networkStirred, this, [this] { settle_.start(); });
        socket_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
        if (socket_ >= 0 &&
            ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            notifier_ = new QSocketNotifier(socket_, QSocketNotifier::Read, this);
            connect(notifier_, &QSocketNotifier::activated, this, &Watch::drain);
        }
        settle_.setSingleShot(true);
        settle_.setInterval(kNetworkSettleMs);
        connect(&settle_, &QTimer::timeout, events_, &SystemEvents::networkChanged);
    }
    ~Watch() override {
        delete notifier_;
        if (socket_ >= 0) {
            ::close(socket_);
        }
    }

private:
    void drain() {
        char buffer[8192];
        while (::recv(socket_, buffer, sizeof buffer, 0) > 0) {
        }
        settle_.start();
    }

    SystemEvents* events_;
    int socket_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer settle_;
};

SystemEvents::SystemEvents(QObject* parent) : QObject(parent), watch_(new Watch(this)) {}

SystemEvents::~SystemEvents() = default;

}  // namespace quorvane
