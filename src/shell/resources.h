#pragma once

// The program's resources, with the ids they have always had: the string table, the menu, the
// accelerator table and the two icons. The Qt window builds its menu and shortcuts from these
// tables; texts are UTF-8.

#include <cstdint>
#include <string>

namespace shell {

// String table.
constexpr std::uint16_t IDS_APP_TITLE = 103;  // the window title
constexpr std::uint16_t IDC_SPLICOR = 109;    // the class name; also the menu and accelerators
// Icons: the class icon and the small one.
constexpr std::uint16_t IDI_SPLICOR = 107;
constexpr std::uint16_t IDI_SMALL = 108;

// Menu commands.
constexpr std::uint16_t CMD_OPEN = 32781;
constexpr std::uint16_t CMD_SAVE_AS = 32782;
constexpr std::uint16_t CMD_SAVE_NUMBERED = 32783;
constexpr std::uint16_t CMD_EXIT = 32784;
constexpr std::uint16_t CMD_CLOSE = 32786;
constexpr std::uint16_t CMD_SEND_BACK = 32791;
constexpr std::uint16_t CMD_UNDO = 32792;

// The text of string `id`; empty for an id the table does not hold.
std::string loadString(std::uint16_t id);

// The Qt resource path of icon `id`; empty for an id the table does not hold.
const char* iconPath(std::uint16_t id);

// The one pop-up of the menu.
constexpr const char* kFileMenuTitle = "ファイル(&F)";

// An item of the file menu; id 0 is a separator. Its text is the label, one space, a tab and
// the accelerator text.
struct MenuItem {
    std::uint16_t id;
    const char* label;
    const char* acceleratorText;
};
constexpr MenuItem kFileMenu[] = {
    {CMD_OPEN, "開く(&O)", "Ctrl+O"},
    {CMD_SAVE_AS, "名前を付けて保存(&S)", "Ctrl+S"},
    {CMD_SAVE_NUMBERED, "番号を付けて保存(&N)", "Ctrl+D"},
    {CMD_CLOSE, "閉じる(&C)", "Ctrl+W"},
    {CMD_SEND_BACK, "後ろへ送る(&B)", "Ctrl+B"},
    {CMD_UNDO, "元に戻す(&U)", "Ctrl+Z"},
    {0, nullptr, nullptr},
    {CMD_EXIT, "アプリケーションの終了(&X)", "Ctrl+Q"},
};
std::string menuItemText(const MenuItem& item);

// The accelerator table: Ctrl with each letter gives its command, in this order.
struct Accelerator {
    char letter;
    std::uint16_t command;
};
constexpr Accelerator kAccelerators[] = {
    {'W', CMD_CLOSE},   {'Q', CMD_EXIT},      {'D', CMD_SAVE_NUMBERED}, {'O', CMD_OPEN},
    {'S', CMD_SAVE_AS}, {'B', CMD_SEND_BACK}, {'Z', CMD_UNDO},
};

}  // namespace shell
