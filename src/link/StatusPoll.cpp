#include "link/StatusPoll.h"

namespace korvat {

std::vector<TUpdateObject> buildUpdateList(TDeviceTyp deviceTyp, Millis now) {
    const bool fpd = deviceTyp == TDeviceTyp::FIDFPD;
    struct Row {
        const char* query;
        const char* edit;
        bool fpdOnly;
    };
    static constexpr Row kRows[] = {
        {"<SG", "editMesskammer", false}, {"<VG", "editVentilblock", false},
        {"<EG", "editEmmision", true},    {"<TG", "editTransfer", true},
        {"<ZG", "editZero", true},        {"<HG", "editHvoltage", true},
        {"<PG", "", false},               {"<V1G", "", false},
        {"<V2G", "", false},              {"<DG", "", false},
        {"<12AS100", "", false},
    };
    std::vector<TUpdateObject> list;
    list.reserve(20);
    for (const Row& r : kRows) {
        if (r.fpdOnly && !fpd)
            continue;
        list.push_back({now, QString::fromLatin1(r.query), QString::fromLatin1(r.edit)});
    }
    return list;
}

} // namespace korvat
