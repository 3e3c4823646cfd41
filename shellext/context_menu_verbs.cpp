#include "shellext/context_menu_verbs.h"

namespace kestrel::shellext {

const VerbRecord VERB_TABLE[] = {
    {"explore", CMD_EXPLORE},        {"open", CMD_OPEN},   {"delete", CMD_DELETE},
    {"rename", CMD_RENAME},          {"copy", CMD_COPY},   {"cut", CMD_CUT},
    {"paste", CMD_PASTE},            {"NewFolder", CMD_NEW_FOLDER},
    {"NewItem", CMD_NEW_ITEM},       {"ModifyData", CMD_MODIFY_DATA},
    {"", -1},
};

int32_t verbOffset(const char* verb) {
    for (const VerbRecord* record = VERB_TABLE; record->offset != -1; ++record)
        if (lstrcmpiA(record->verb, verb) == 0) return record->offset;
    return -1;
}

const char* verbOf(UINT offset) {
    for (const VerbRecord* record = VERB_TABLE; record->offset != -1; ++record)
        if (static_cast<UINT>(record->offset) == offset) return record->verb;
    return nullptr;
}

}  // namespace kestrel::shellext
