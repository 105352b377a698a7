#include "link/port_claim.h"

#include "link/texts.h"

namespace kv306 {

Done PortClaim::HeldBy(const QString &holder)
{
    return Done::Refused(holder.isEmpty() ? Tx::tr("另一个工位正在使用它")
                                          : Tx::tr("另一个工位正在使用它：%1").arg(holder));
}

}  // namespace kv306
