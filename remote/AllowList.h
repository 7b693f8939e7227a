#pragma once

// Which hosts may control the receiver over the network. The local host
// (127.0.0.1, ::1) always may; the operator adds addresses and subnets
// ("192.168.1.20", "192.168.1.0/24", "fd00::/8"). No names: resolving one
// would wait on the network on the main thread.

#include <QHostAddress>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace remote {

class AllowList {
public:
    // Entries separated by commas, semicolons or blanks; empty text allows
    // the local host alone. nullopt when an entry is neither an address nor
    // a subnet; *bad then names it.
    static std::optional<AllowList> Parse(const QString& text, QString* bad = nullptr);

    // Only the local host.
    bool LocalOnly() const { return subnets_.empty(); }
    // An IPv4 peer may arrive as an IPv4-mapped IPv6 address ("::ffff:10.0.0.5")
    // on a dual-stack socket: it is judged as the IPv4 address it is.
    bool Allows(const QHostAddress& peer) const;

private:
    std::vector<std::pair<QHostAddress, int>> subnets_;
};

}  // namespace remote
