#include "shell/resources.h"

namespace shell {

std::string loadString(std::uint16_t id) {
    switch (id) {
        case IDS_APP_TITLE:
            return "splicor2 0.019";
        case IDC_SPLICOR:
            return "SPLICORWIN32";
        default:
            return "";
    }
}

const char* iconPath(std::uint16_t id) {
    switch (id) {
        case IDI_SPLICOR:
            return ":/splicor/icon107.xpm";
        case IDI_SMALL:
            return ":/splicor/icon108.xpm";
        default:
            return "";
    }
}

std::string menuItemText(const MenuItem& item) {
    return std::string(item.label) + " \t" + item.acceleratorText;
}

}  // namespace shell
