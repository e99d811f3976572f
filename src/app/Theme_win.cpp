#include "app/Theme_win.h"

#include <cstring>

#include "platform/Resources_win.h"
#include "resources/Picture.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

UniqueBitmap BitmapFromRgb(const Rgb& rgb) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = rgb.width;
    info.bmiHeader.biHeight = -rgb.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return bitmap;
    // DIB rows are padded to four bytes; the decoder's are not.
    size_t row = static_cast<size_t>(rgb.width) * 3;
    size_t stride = (row + 3) & ~size_t{3};
    for (int y = 0; y < rgb.height; ++y)
        std::memcpy(static_cast<uint8_t*>(bits) + y * stride, rgb.pixels.data() + y * row, row);
    return bitmap;
}

UniqueFont MakeFont(LOGFONTW font, LONG height, LONG weight) {
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfQuality = CLEARTYPE_QUALITY;
    return UniqueFont(CreateFontIndirectW(&font));
}

}  // namespace

UniqueBitmap LoadPicture(const char* name) {
    std::wstring wide = Widen(name);
    if (auto bmp = static_cast<HBITMAP>(
            LoadImageW(GetModuleHandleW(nullptr), wide.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)))
        return UniqueBitmap(bmp);
    auto rgb = DecodeJpeg(ProgramResource(wide.c_str()));
    return rgb ? BitmapFromRgb(*rgb) : UniqueBitmap();
}

void Theme::Load() {
    background_ = LoadPicture("background");
    backgroundBrush_.reset(background_ ? CreatePatternBrush(background_.get()) : CreateSolidBrush(colours::kBody));

    // The system's message font, in the sizes of the layout (which was drawn for 12-pixel text).
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_ = MakeFont(metrics.lfMessageFont, -12, metrics.lfMessageFont.lfWeight);
    titleFont_ = MakeFont(metrics.lfMessageFont, -14, FW_BOLD);
    captionFont_ = MakeFont(metrics.lfMessageFont, -12, FW_BOLD);
}

void Theme::PaintBackground(HDC dc, const RECT& area, POINT offset) const {
    if (!background_) return FillSolid(dc, area, colours::kBody);
    UniqueMemoryDc source(CreateCompatibleDC(dc));
    SelectObjectScope picture(source.get(), background_.get());
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, source.get(), area.left + offset.x,
           area.top + offset.y, SRCCOPY);
}

HBRUSH Theme::BackgroundBrush(HDC dc, POINT offset) const {
    // A pattern brush repeats from the DC's brush origin: moving the origin lines the child's piece of the
    // picture up with what the main window shows around it.
    SetBrushOrgEx(dc, -offset.x, -offset.y, nullptr);
    return backgroundBrush_.get();
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
    UniqueBrush brush(CreateSolidBrush(colour));
    FillRect(dc, &r, brush.get());
}

void RoundBox(HDC dc, const RECT& r, int corner, std::optional<COLORREF> fill, std::optional<COLORREF> border) {
    UniqueBrush brush(fill ? CreateSolidBrush(*fill) : nullptr);
    UniquePen pen(border ? CreatePen(PS_SOLID, 1, *border) : nullptr);
    SelectObjectScope useBrush(dc, brush ? static_cast<HGDIOBJ>(brush.get()) : GetStockObject(NULL_BRUSH));
    SelectObjectScope usePen(dc, pen ? static_cast<HGDIOBJ>(pen.get()) : GetStockObject(NULL_PEN));
    RoundRect(dc, r.left, r.top, r.right, r.bottom, corner, corner);
}

void FillCircle(HDC dc, POINT centre, int radius, COLORREF colour) {
    UniqueBrush brush(CreateSolidBrush(colour));
    SelectObjectScope useBrush(dc, brush.get());
    SelectObjectScope usePen(dc, GetStockObject(NULL_PEN));
    // Without a pen the right and bottom edges are one pixel short: the box ends one further.
    Ellipse(dc, centre.x - radius, centre.y - radius, centre.x + radius + 1, centre.y + radius + 1);
}

void HorizontalLine(HDC dc, int left, int right, int y, COLORREF colour) {
    UniquePen pen(CreatePen(PS_SOLID, 1, colour));
    SelectObjectScope usePen(dc, pen.get());
    MoveToEx(dc, left, y, nullptr);
    LineTo(dc, right, y);
}

void DrawTextIn(HDC dc, const std::wstring& text, RECT r, HFONT font, COLORREF colour, UINT format) {
    SelectObjectScope useFont(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
}

void StretchPicture(HDC dc, HBITMAP picture, const RECT& r) {
    if (!picture) return;
    BITMAP bm;
    GetObjectW(picture, sizeof bm, &bm);
    UniqueMemoryDc source(CreateCompatibleDC(dc));
    SelectObjectScope use(source.get(), picture);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, source.get(), 0, 0, bm.bmWidth, bm.bmHeight,
               SRCCOPY);
}

void CentrePicture(HDC dc, HBITMAP picture, const RECT& r, int shift) {
    if (!picture) return;
    BITMAP bm;
    GetObjectW(picture, sizeof bm, &bm);
    UniqueMemoryDc source(CreateCompatibleDC(dc));
    SelectObjectScope use(source.get(), picture);
    int x = r.left + (r.right - r.left - bm.bmWidth) / 2 + shift;
    int y = r.top + (r.bottom - r.top - bm.bmHeight) / 2 + shift;
    BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, source.get(), 0, 0, SRCCOPY);
}

void WhiteVeil(HDC dc, const RECT& r, BYTE alpha) {
    // AlphaBlend stretches a one-pixel white source over the area.
    UniqueMemoryDc white(CreateCompatibleDC(dc));
    UniqueBitmap pixel(CreateCompatibleBitmap(dc, 1, 1));
    SelectObjectScope use(white.get(), pixel.get());
    SetPixel(white.get(), 0, 0, colours::kWhite);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, 0};
    AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, white.get(), 0, 0, 1, 1, blend);
}

}  // namespace kx
