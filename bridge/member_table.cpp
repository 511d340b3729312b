#include "bridge/member_table.h"

namespace quillon::bridge {

const BridgeValue* Arguments::declared(std::size_t index, char kind) const
{
    return index < kinds_.size() && kinds_[index] == kind && index < values_.size() ? &values_[index] : nullptr;
}

std::string Arguments::text(std::size_t index) const
{
    const BridgeValue* value = declared(index, 'S');
    return value ? value->asText() : std::string();
}

std::int32_t Arguments::integer(std::size_t index) const
{
    const BridgeValue* value = declared(index, 'I');
    return value ? value->asInteger() : 0;
}

const Member* memberById(std::span<const Member> table, DispId id)
{
    if (id < 1 || static_cast<std::size_t>(id) > table.size())
        return nullptr;
    return &table[static_cast<std::size_t>(id - 1)];
}

const std::vector<DispId>& statusMembers()
{
    static const std::vector<DispId> ids = [] {
        const std::span<const Member> members = memberTable();
        std::vector<DispId> found;
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (members[i].kind == MemberKind::Property && members[i].result == ResultKind::Integer)
                found.push_back(static_cast<DispId>(i + 1));
        }
        return found;
    }();
    return ids;
}

}  // namespace quillon::bridge
