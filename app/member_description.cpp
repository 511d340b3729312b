// The members as the bridge and the page processes know them: names, kinds,
// letters and results, without the code that carries them out.
#include "app/member_rows.h"

namespace quillon::bridge {

std::span<const Member> memberTable()
{
    static constexpr auto kRows = app::memberRows<DescribeOnly>();
    return kRows;
}

}  // namespace quillon::bridge
