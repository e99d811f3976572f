#pragma once
// How the window looks: its colours, fonts and background picture, and the painting helpers that the
// main window and its own controls share.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/Handle_win.h"

namespace kx {

namespace colours {
inline constexpr COLORREF kBody = RGB(0xF2, 0xF6, 0xFB);  // page controls and their idle tabs' strip
inline constexpr COLORREF kCard = RGB(0xFF, 0xFF, 0xFF);  // group boxes, the current tab, the web view
inline constexpr COLORREF kCardBorder = RGB(0xD0, 0xDD, 0xEC);
inline constexpr COLORREF kIdleTab = RGB(0xE3, 0xEB, 0xF5);
inline constexpr COLORREF kAccent = RGB(0x19, 0x76, 0xD2);  // titles, the current tab and wizard step
inline constexpr COLORREF kText = RGB(0x26, 0x32, 0x38);
inline constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
// Flat buttons: on the header band they are blue on blue, elsewhere light on the page.
inline constexpr COLORREF kHeaderButton = RGB(0x15, 0x65, 0xC0);
inline constexpr COLORREF kHeaderButtonHot = RGB(0x1E, 0x88, 0xE5);
inline constexpr COLORREF kHeaderButtonBorder = RGB(0xBB, 0xDE, 0xFB);
inline constexpr COLORREF kButton = RGB(0xFA, 0xFA, 0xFA);
inline constexpr COLORREF kButtonHot = RGB(0xE3, 0xF2, 0xFD);
inline constexpr COLORREF kButtonBorder = RGB(0x90, 0xA4, 0xAE);
inline constexpr COLORREF kButtonText = RGB(0x37, 0x47, 0x4F);
}  // namespace colours

// The background's header band: it moves the window, as a title bar would, and holds the header's buttons.
inline constexpr int kHeaderHeight = 88;

// The GDI objects the whole window paints with, made once when the window is created.
class Theme {
public:
    // Loads the background picture and makes the fonts. Window thread.
    void Load();

    HFONT Font() const { return font_.get(); }
    HFONT TitleFont() const { return titleFont_.get(); }
    HFONT CaptionFont() const { return captionFont_.get(); }  // group boxes

    // The background picture over `area` of a window whose top-left lies at `offset` in the main
    // window's client area; the page colour where the program carries no picture.
    void PaintBackground(HDC dc, const RECT& area, POINT offset) const;
    // The background as a brush aligned for a window at `offset`, for a child's own painting (WM_CTLCOLOR*).
    HBRUSH BackgroundBrush(HDC dc, POINT offset) const;

private:
    UniqueBitmap background_;
    UniqueBrush backgroundBrush_;
    UniqueFont font_, titleFont_, captionFont_;
};

// A picture the program carries, by resource name: a BITMAP, or a JPEG as RCDATA. Empty when absent.
UniqueBitmap LoadPicture(const char* name);

void FillSolid(HDC dc, const RECT& r, COLORREF colour);
// A rounded rectangle, filled and outlined as asked; no fill or no border leaves that part undrawn.
void RoundBox(HDC dc, const RECT& r, int corner, std::optional<COLORREF> fill, std::optional<COLORREF> border);
void FillCircle(HDC dc, POINT centre, int radius, COLORREF colour);
void HorizontalLine(HDC dc, int left, int right, int y, COLORREF colour);
// Text with a transparent background in the given font and colour; `format` as DrawTextW takes it.
void DrawTextIn(HDC dc, const std::wstring& text, RECT r, HFONT font, COLORREF colour, UINT format);
// The whole picture scaled into `r`.
void StretchPicture(HDC dc, HBITMAP picture, const RECT& r);
// The picture at its own size, centred in `r` and moved right and down by `shift` pixels.
void CentrePicture(HDC dc, HBITMAP picture, const RECT& r, int shift);
// Lightens `r` with translucent white (`alpha` of 255).
void WhiteVeil(HDC dc, const RECT& r, BYTE alpha);

}  // namespace kx
