#pragma once
// The main window's controls as one declarative table: name, kind, parent, place, caption, visibility at start.
// Places are relative to the parent; a page's children are placed relative to its page control.
#include <span>
#include <string>
#include <string_view>

#include "base/ControlNames.h"

namespace kx {

enum class ControlKind {
    Label,
    TransparentLabel,
    GroupBox,
    EditBox,
    PushButton,
    ImageButton,
    FlatButton,
    CheckBox,
    RadioButton,
    ListBox,
    ListView,
    ProgressBar,
    Timer,
    PageControl,
    Page,
    WebView,
    FileDialog,
    ZipComponent,
    PictureBox,
};

std::string_view KindName(ControlKind kind);

struct ControlSpec {
    const char* name;
    ControlKind kind;
    const char* parent;  // "" for the window itself
    int x, y, w, h;
    const char* caption;  // web views: a path on the product site, or "about:blank"
    bool visible;
    const char* picture = "";  // resource name of an image button's or picture box's picture
    const char* columns = "";  // list views: "caption:width|caption:width|..."
    int period = 0;            // timers: milliseconds at start
    const char* tag = "";
};

struct WindowSpec {
    const char* className;
    const char* title;
    int x, y, w, h;
};

const WindowSpec& MainWindowSpec();
std::span<const ControlSpec> MainLayout();
const ControlSpec* FindControl(std::string_view name);
// The control a row of the table describes (every row's name is a layout name: checked when compiling).
Control ControlOf(const ControlSpec& spec);

// The name of page `index` of a page control, as used for the page's children ("高级选择夹1#4").
std::string PageName(std::string_view pageControl, int index);

// Labels drawn in the title font: the systems' names and the pages' hint titles.
bool IsTitleLabel(std::string_view name);

// Height of the tab strip of a page control; its pages start below it. The wizard shows no tabs.
int TabStripHeight(std::string_view pageControl);

// The control that switches between the wizard and the tool pages (not part of the original layout).
using ctl::kToolsToggle;
inline constexpr int kToolsPlaceX = 5;

}  // namespace kx
