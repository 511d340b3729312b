#include "app/member_handlers.h"
#include "app/member_rows.h"

namespace quillon::app {

std::span<const bridge::Member> boundMemberTable()
{
    static constexpr auto kRows = memberRows<HandlerBinding>();
    return kRows;
}

}  // namespace quillon::app
