#include "fwupdate/core/messages.h"

#include "fwupdate/core/text_format.h"

namespace kestrel::fwupdate::box {

Message nothingSelected() {
    return {"Please select what to update.", "Update", BoxIcon::Warning, BoxButtons::Ok, BoxModality::TaskModal};
}

Message confirmUpdate(unsigned selection) {
    const char* what = selection == 1 ? "EEPROM" : selection == 2 ? "MAIN" : "EEPROM and MAIN";
    return {formatText("Are you SURE you want to update %s code?", what), "Update", BoxIcon::Question,
            BoxButtons::YesNoDefaultNo, BoxModality::TaskModal};
}

Message unableToOpen(const std::string& file) {
    return {formatText("Unable to open file '%s'\nCheck if this file is in current working directory.", file.c_str()),
            "Error", BoxIcon::Error, BoxButtons::Ok, BoxModality::TaskModal};
}

Message emptyUpdateFile(const std::string& file) {
    return {formatText("The update file '%s' is empty.\nNothing was changed on the device.", file.c_str()), "Error",
            BoxIcon::Error, BoxButtons::Ok, BoxModality::TaskModal};
}

Message eepromImageTooLarge(const std::string& file, unsigned long long size) {
    return {formatText("The EEPROM image '%s' holds %llu bytes; the boot EEPROM takes at most 65536.\n"
                       "Nothing was written.",
                       file.c_str(), size),
            "Error", BoxIcon::Error, BoxButtons::Ok, BoxModality::TaskModal};
}

Message keepDeviceOn() {
    return {"Don't turn off the device while system is updating!!!\n", "Rescue Update", BoxIcon::Information,
            BoxButtons::Ok, BoxModality::TaskModal};
}

Message eepromWriteError() {
    return {"EEPROM write error", "ERROR", BoxIcon::Error, BoxButtons::Ok, BoxModality::Plain};
}

Message eepromReadError() {
    return {"EEPROM read error", "ERROR", BoxIcon::Error, BoxButtons::Ok, BoxModality::Plain};
}

Message verifyError() {
    return {"Verify error!\nPlease try again.", "Error", BoxIcon::Error, BoxButtons::Ok, BoxModality::TaskModal};
}

Message unableToFormat() {
    return {"Unable to format System.\n", "Update", BoxIcon::Information, BoxButtons::Ok, BoxModality::TaskModal};
}

Message downloadFailed(const std::string& file, uint32_t code) {
    return {formatText("Unable to write '%s' to the device (error %u).\n"
                       "The device was not restarted; see log.txt.",
                       file.c_str(), static_cast<unsigned>(code)),
            "Update", BoxIcon::Error, BoxButtons::Ok, BoxModality::TaskModal};
}

Message updateFilesMissing() {
    return {"You will not be able to update the device because update files are missing.", "ERROR",
            BoxIcon::Warning, BoxButtons::Ok, BoxModality::OwnedByDialog};
}

Message updateRunning() {
    return {"Update can not be interupted", "Update", BoxIcon::Warning, BoxButtons::Ok, BoxModality::TaskModal};
}

}  // namespace kestrel::fwupdate::box
