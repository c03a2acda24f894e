#include "platform/win32/gdi32.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/win32/kernel.h"
#include "platform/win32/layer.h"
#include "platform/win32/user32.h"

namespace win32layer {

RECT bounds(const Region& region) {
  RECT box{};
  bool first = true;
  for (const RECT& r : region) {
    if (isEmpty(r)) continue;
    box = first ? r
                : RECT{std::min(box.left, r.left), std::min(box.top, r.top), std::max(box.right, r.right),
                       std::max(box.bottom, r.bottom)};
    first = false;
  }
  return box;
}

Region subtract(const Region& region, const RECT& cut) {
  Region out;
  for (const RECT& r : region) {
    const RECT i = intersect(r, cut);
    if (isEmpty(i)) {
      out.push_back(r);
      continue;
    }
    // What is left of r around the cut: the bands above and below it, and
    // the pieces left and right of it between them.
    if (r.top < i.top) out.push_back(RECT{r.left, r.top, r.right, i.top});
    if (i.bottom < r.bottom) out.push_back(RECT{r.left, i.bottom, r.right, r.bottom});
    if (r.left < i.left) out.push_back(RECT{r.left, i.top, i.left, i.bottom});
    if (i.right < r.right) out.push_back(RECT{i.right, i.top, r.right, i.bottom});
  }
  return out;
}

void addToRegion(Region& region, const RECT& rect) {
  if (isEmpty(rect)) return;
  Region pieces{rect};
  for (const RECT& r : region) pieces = subtract(pieces, r);
  region.insert(region.end(), pieces.begin(), pieces.end());
  // Many scattered pieces become their bounding rectangle: coarser, never smaller.
  constexpr std::size_t kMostPieces = 64;
  if (region.size() > kMostPieces) region = Region{bounds(region)};
}

Region intersect(const Region& region, const RECT& rect) {
  Region out;
  for (const RECT& r : region)
    if (const RECT i = intersect(r, rect); !isEmpty(i)) out.push_back(i);
  return out;
}

bool contains(const Region& region, long x, long y) {
  return std::any_of(region.begin(), region.end(),
                     [&](const RECT& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; });
}

}  // namespace win32layer

namespace win32layer::gdi {
namespace {

enum class Kind { Brush, Pen, Font };

struct Object {
  Kind kind = Kind::Brush;
  COLORREF color = 0;
  int penStyle = PS_SOLID;
  int width = 1;
  double fontSize = kSystemFontSize;
  bool stock = false;
  bool nullObject = false;  // NULL_BRUSH, NULL_PEN
  bool dcColored = false;   // DC_BRUSH, DC_PEN: the colour comes from the context
};

struct Context {
  cairo_surface_t* image = nullptr;
  int originX = 0;
  int originY = 0;
  Region clip;
  std::uintptr_t brush = 0;
  std::uintptr_t pen = 0;
  std::uintptr_t font = 0;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  POINT position{0, 0};
  COLORREF dcBrushColor = RGB(255, 255, 255);
  COLORREF dcPenColor = RGB(0, 0, 0);
};

// All GDI objects and contexts, by handle value. Stock objects have fixed
// handles; everything else counts up from kFirstHandle (the values below
// 0x100 stay free for "system colour + 1" brushes).
struct Table {
  std::mutex m;
  std::map<std::uintptr_t, Object> objects;
  std::map<std::uintptr_t, Context> contexts;
  std::uintptr_t next = 0x20000;
  std::map<int, std::uintptr_t> systemBrushes;
};

constexpr std::uintptr_t kStockBase = 0x10000;
constexpr std::uintptr_t kFirstHandle = 0x20000;

Table& table() {
  // Never destroyed: windows and threads may still draw during exit.
  static Table* t = [] {
    auto* created = new Table;
    auto stock = [&](int id, Object o) {
      o.stock = true;
      created->objects[kStockBase + static_cast<std::uintptr_t>(id)] = o;
    };
    auto brush = [](COLORREF c) { Object o; o.kind = Kind::Brush; o.color = c; return o; };
    auto pen = [](COLORREF c) { Object o; o.kind = Kind::Pen; o.color = c; return o; };
    stock(WHITE_BRUSH, brush(RGB(255, 255, 255)));
    stock(LTGRAY_BRUSH, brush(RGB(192, 192, 192)));
    stock(GRAY_BRUSH, brush(RGB(128, 128, 128)));
    stock(DKGRAY_BRUSH, brush(RGB(64, 64, 64)));
    stock(BLACK_BRUSH, brush(RGB(0, 0, 0)));
    Object nullBrush = brush(0);
    nullBrush.nullObject = true;
    stock(NULL_BRUSH, nullBrush);
    stock(WHITE_PEN, pen(RGB(255, 255, 255)));
    stock(BLACK_PEN, pen(RGB(0, 0, 0)));
    Object nullPen = pen(0);
    nullPen.nullObject = true;
    nullPen.penStyle = PS_NULL;
    stock(NULL_PEN, nullPen);
    Object systemFont;
    systemFont.kind = Kind::Font;
    systemFont.fontSize = kSystemFontSize;
    stock(SYSTEM_FONT, systemFont);
    Object guiFont = systemFont;
    guiFont.fontSize = kGuiFontSize;
    stock(DEFAULT_GUI_FONT, guiFont);
    Object dcBrush = brush(0);
    dcBrush.dcColored = true;
    stock(DC_BRUSH, dcBrush);
    Object dcPen = pen(0);
    dcPen.dcColored = true;
    stock(DC_PEN, dcPen);
    created->next = kFirstHandle;
    return created;
  }();
  return *t;
}

std::uintptr_t handleValue(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }
std::uintptr_t stockHandle(int id) { return kStockBase + static_cast<std::uintptr_t>(id); }

// A copy of what one drawing call needs, taken under the table lock; the
// image reference keeps the pixels alive while drawing without the lock.
struct Snapshot {
  cairo_surface_t* image = nullptr;
  int originX = 0;
  int originY = 0;
  Region clip;
  COLORREF textColor = 0;
  COLORREF bkColor = 0;
  int bkMode = OPAQUE;
  double fontSize = kSystemFontSize;
  ~Snapshot() {
    if (image) cairo_surface_destroy(image);
  }
};

bool snapshot(HDC hdc, Snapshot& s) {
  Table& t = table();
  std::lock_guard lock(t.m);
  auto it = t.contexts.find(handleValue(hdc));
  if (it == t.contexts.end()) return false;
  const Context& c = it->second;
  s.image = cairo_surface_reference(c.image);
  s.originX = c.originX;
  s.originY = c.originY;
  s.clip = c.clip;
  s.textColor = c.textColor;
  s.bkColor = c.bkColor;
  s.bkMode = c.bkMode;
  auto font = t.objects.find(c.font);
  if (font != t.objects.end() && font->second.kind == Kind::Font) s.fontSize = font->second.fontSize;
  return true;
}

std::uint32_t toPixel(COLORREF c) {
  return 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
         (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}



// Fills image pixels of `area` (image coordinates, already clipped).
void fillPixels(cairo_surface_t* image, const RECT& area, COLORREF color) {
  if (isEmpty(area)) return;
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  const std::uint32_t value = toPixel(color);
  for (LONG y = area.top; y < area.bottom; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    std::fill(row + area.left, row + area.right, value);
  }
  cairo_surface_mark_dirty_rectangle(image, area.left, area.top, area.right - area.left, area.bottom - area.top);
}

RECT imageBounds(cairo_surface_t* image) {
  return RECT{0, 0, cairo_image_surface_get_width(image), cairo_image_surface_get_height(image)};
}

std::string toUtf8(LPCWSTR text, int length) {
  if (!text || length <= 0) return {};
  int needed = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), needed, nullptr, nullptr);
  return out;
}

void setFont(cairo_t* cr, double size) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_font_options_t* options = cairo_font_options_create();
  // No antialiasing: every text pixel is the text colour, like GDI without
  // font smoothing, so a screenshot is exact and readable pixel by pixel.
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

struct TextBox {
  int width = 0;
  int ascent = 0;
  int height = 0;
};

TextBox measure(cairo_t* cr, const std::string& utf8) {
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  cairo_text_extents_t text;
  cairo_text_extents(cr, utf8.c_str(), &text);
  TextBox box;
  box.width = static_cast<int>(std::lround(text.x_advance));
  box.ascent = static_cast<int>(std::ceil(font.ascent));
  box.height = box.ascent + static_cast<int>(std::ceil(font.descent));
  return box;
}

// Resolves a brush handle to a colour in a context. False: draw nothing.
bool brushColor(const Table& t, const Context& c, HBRUSH brush, COLORREF& color) {
  const std::uintptr_t value = handleValue(brush);
  if (value > 0 && value < 0x100) {  // (HBRUSH)(COLOR_xxx + 1)
    color = systemColor(static_cast<int>(value) - 1);
    return true;
  }
  auto it = t.objects.find(value);
  if (it == t.objects.end() || it->second.kind != Kind::Brush || it->second.nullObject) return false;
  color = it->second.dcColored ? c.dcBrushColor : it->second.color;
  return true;
}

}  // namespace

cairo_surface_t* createImage(int width, int height) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(1, width), std::max(1, height));
  fillPixels(image, imageBounds(image), RGB(0, 0, 0));
  return image;
}

HDC createDC(cairo_surface_t* image, int originX, int originY, const RECT& clip) {
  return createDC(image, originX, originY, Region{clip});
}

HDC createDC(cairo_surface_t* image, int originX, int originY, const Region& clip) {
  Table& t = table();
  std::lock_guard lock(t.m);
  Context c;
  c.image = cairo_surface_reference(image);
  c.originX = originX;
  c.originY = originY;
  c.clip = intersect(clip, imageBounds(image));
  c.brush = stockHandle(WHITE_BRUSH);
  c.pen = stockHandle(BLACK_PEN);
  c.font = stockHandle(SYSTEM_FONT);
  const std::uintptr_t handle = t.next++;
  t.contexts.emplace(handle, c);
  return reinterpret_cast<HDC>(handle);
}

bool deleteDC(HDC hdc) {
  cairo_surface_t* image = nullptr;
  {
    Table& t = table();
    std::lock_guard lock(t.m);
    auto it = t.contexts.find(handleValue(hdc));
    if (it == t.contexts.end()) return false;
    image = it->second.image;
    t.contexts.erase(it);
  }
  cairo_surface_destroy(image);
  return true;
}

COLORREF readPixel(cairo_surface_t* image, int x, int y) {
  if (!image || x < 0 || y < 0 || x >= cairo_image_surface_get_width(image) ||
      y >= cairo_image_surface_get_height(image))
    return CLR_INVALID;
  cairo_surface_flush(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  const std::uint32_t p = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride)[x];
  return RGB(static_cast<BYTE>((p >> 16) & 0xFF), static_cast<BYTE>((p >> 8) & 0xFF), static_cast<BYTE>(p & 0xFF));
}

COLORREF systemColor(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    default: return RGB(0, 0, 0);
  }
}

HBRUSH systemColorBrush(int index) {
  Table& t = table();
  std::lock_guard lock(t.m);
  auto it = t.systemBrushes.find(index);
  if (it != t.systemBrushes.end()) return reinterpret_cast<HBRUSH>(it->second);
  Object o;
  o.kind = Kind::Brush;
  o.color = systemColor(index);
  o.stock = true;
  const std::uintptr_t handle = t.next++;
  t.objects.emplace(handle, o);
  t.systemBrushes.emplace(index, handle);
  return reinterpret_cast<HBRUSH>(handle);
}

}  // namespace win32layer::gdi

using namespace win32layer::gdi;
using win32layer::intersect;
using win32layer::isEmpty;

HBRUSH CreateSolidBrush(COLORREF color) {
  Table& t = table();
  std::lock_guard lock(t.m);
  Object o;
  o.kind = Kind::Brush;
  o.color = color & 0x00FFFFFF;
  const std::uintptr_t handle = t.next++;
  t.objects.emplace(handle, o);
  return reinterpret_cast<HBRUSH>(handle);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID && style != PS_NULL) return nullptr;
  Table& t = table();
  std::lock_guard lock(t.m);
  Object o;
  o.kind = Kind::Pen;
  o.penStyle = style;
  o.nullObject = style == PS_NULL;
  o.width = std::max(1, width);
  o.color = color & 0x00FFFFFF;
  const std::uintptr_t handle = t.next++;
  t.objects.emplace(handle, o);
  return reinterpret_cast<HPEN>(handle);
}

HGDIOBJ GetStockObject(int object) {
  Table& t = table();
  std::lock_guard lock(t.m);
  const std::uintptr_t handle = stockHandle(object);
  if (object < 0 || !t.objects.count(handle)) return nullptr;
  return reinterpret_cast<HGDIOBJ>(handle);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  Table& t = table();
  std::lock_guard lock(t.m);
  auto c = t.contexts.find(handleValue(hdc));
  auto o = t.objects.find(handleValue(object));
  if (c == t.contexts.end() || o == t.objects.end()) return nullptr;
  std::uintptr_t* slot = nullptr;
  switch (o->second.kind) {
    case Kind::Brush: slot = &c->second.brush; break;
    case Kind::Pen: slot = &c->second.pen; break;
    case Kind::Font: slot = &c->second.font; break;
  }
  const std::uintptr_t previous = *slot;
  *slot = o->first;
  return reinterpret_cast<HGDIOBJ>(previous);
}

BOOL DeleteObject(HGDIOBJ object) {
  Table& t = table();
  std::lock_guard lock(t.m);
  auto it = t.objects.find(handleValue(object));
  if (it == t.objects.end()) return FALSE;
  if (!it->second.stock) t.objects.erase(it);
  return TRUE;
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  if (!rect) return 0;
  COLORREF color = 0;
  Snapshot s;
  {
    Table& t = table();
    std::lock_guard lock(t.m);
    auto c = t.contexts.find(handleValue(hdc));
    if (c == t.contexts.end()) return 0;
    if (!brushColor(t, c->second, brush, color)) {
      // A null brush fills nothing and still succeeds; an unknown one fails.
      auto o = t.objects.find(handleValue(brush));
      return o != t.objects.end() && o->second.kind == Kind::Brush ? 1 : 0;
    }
  }
  if (!snapshot(hdc, s)) return 0;
  RECT area{rect->left + s.originX, rect->top + s.originY, rect->right + s.originX, rect->bottom + s.originY};
  for (const RECT& part : s.clip) fillPixels(s.image, intersect(area, part), color);
  return 1;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous) {
  Table& t = table();
  std::lock_guard lock(t.m);
  auto c = t.contexts.find(handleValue(hdc));
  if (c == t.contexts.end()) return FALSE;
  if (previous) *previous = c->second.position;
  c->second.position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  POINT from{};
  COLORREF color = 0;
  int width = 1;
  bool draw = true;
  Snapshot s;
  {
    Table& t = table();
    std::lock_guard lock(t.m);
    auto c = t.contexts.find(handleValue(hdc));
    if (c == t.contexts.end()) return FALSE;
    from = c->second.position;
    c->second.position = POINT{x, y};
    auto pen = t.objects.find(c->second.pen);
    if (pen == t.objects.end() || pen->second.kind != Kind::Pen) {
      color = RGB(0, 0, 0);  // a deleted pen draws as the default black pen
    } else {
      draw = !pen->second.nullObject;
      color = pen->second.dcColored ? c->second.dcPenColor : pen->second.color;
      width = pen->second.width;
    }
  }
  if (!draw) return TRUE;
  if (!snapshot(hdc, s)) return FALSE;

  // Bresenham from the start point; the end point itself is not drawn.
  cairo_surface_flush(s.image);
  unsigned char* data = cairo_image_surface_get_data(s.image);
  const int stride = cairo_image_surface_get_stride(s.image);
  const std::uint32_t value = toPixel(color);
  const RECT clip = win32layer::bounds(s.clip);
  RECT dirty{clip.right, clip.bottom, clip.left, clip.top};
  auto plot = [&](int px, int py) {
    const int half = (width - 1) / 2;
    for (int yy = py - half; yy < py - half + width; ++yy) {
      if (yy < clip.top || yy >= clip.bottom) continue;
      auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(yy) * stride);
      for (int xx = px - half; xx < px - half + width; ++xx) {
        if (!win32layer::contains(s.clip, xx, yy)) continue;
        row[xx] = value;
        dirty.left = std::min<LONG>(dirty.left, xx);
        dirty.top = std::min<LONG>(dirty.top, yy);
        dirty.right = std::max<LONG>(dirty.right, xx + 1);
        dirty.bottom = std::max<LONG>(dirty.bottom, yy + 1);
      }
    }
  };
  long x0 = from.x + s.originX, y0 = from.y + s.originY;
  const long x1 = x + s.originX, y1 = y + s.originY;
  const long dx = std::labs(x1 - x0), dy = -std::labs(y1 - y0);
  const long sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  long err = dx + dy;
  while (!(x0 == x1 && y0 == y1)) {
    plot(static_cast<int>(x0), static_cast<int>(y0));
    const long e2 = 2 * err;
    if (e2 >= dy) { err += dy; x0 += sx; }
    if (e2 <= dx) { err += dx; y0 += sy; }
  }
  if (!isEmpty(dirty))
    cairo_surface_mark_dirty_rectangle(s.image, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top);
  return TRUE;
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int length) {
  Snapshot s;
  if (!snapshot(hdc, s)) return FALSE;
  if (!text || length <= 0) return TRUE;
  const std::string utf8 = toUtf8(text, length);
  cairo_t* cr = cairo_create(s.image);
  setFont(cr, s.fontSize);
  const TextBox box = measure(cr, utf8);
  const int left = x + s.originX, top = y + s.originY;
  if (s.bkMode == OPAQUE)
    for (const RECT& part : s.clip)
      fillPixels(s.image, intersect(RECT{left, top, left + box.width, top + box.height}, part), s.bkColor);
  if (s.clip.empty()) {
    cairo_destroy(cr);
    return TRUE;
  }
  for (const RECT& part : s.clip)
    cairo_rectangle(cr, part.left, part.top, part.right - part.left, part.bottom - part.top);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, GetRValue(s.textColor) / 255.0, GetGValue(s.textColor) / 255.0,
                       GetBValue(s.textColor) / 255.0);
  cairo_move_to(cr, left, top + box.ascent);
  cairo_show_text(cr, utf8.c_str());
  cairo_destroy(cr);
  cairo_surface_flush(s.image);
  return TRUE;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int length, SIZE* size) {
  Snapshot s;
  if (!size || !snapshot(hdc, s)) return FALSE;
  cairo_t* cr = cairo_create(s.image);
  setFont(cr, s.fontSize);
  const TextBox box = measure(cr, toUtf8(text, length));
  cairo_destroy(cr);
  size->cx = box.width;
  size->cy = box.height;
  return TRUE;
}

namespace {
template <typename Field, typename Value>
Value exchange(HDC hdc, Field field, Value value, Value failure, bool set) {
  Table& t = table();
  std::lock_guard lock(t.m);
  auto c = t.contexts.find(handleValue(hdc));
  if (c == t.contexts.end()) return failure;
  Value previous = c->second.*field;
  if (set) c->second.*field = value;
  return previous;
}
}  // namespace

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  return exchange(hdc, &Context::textColor, color & 0x00FFFFFF, CLR_INVALID, true);
}
COLORREF GetTextColor(HDC hdc) { return exchange(hdc, &Context::textColor, COLORREF{0}, CLR_INVALID, false); }
COLORREF SetBkColor(HDC hdc, COLORREF color) {
  return exchange(hdc, &Context::bkColor, color & 0x00FFFFFF, CLR_INVALID, true);
}
COLORREF GetBkColor(HDC hdc) { return exchange(hdc, &Context::bkColor, COLORREF{0}, CLR_INVALID, false); }
int SetBkMode(HDC hdc, int mode) {
  if (mode != OPAQUE && mode != TRANSPARENT) return 0;
  return exchange(hdc, &Context::bkMode, mode, 0, true);
}
int GetBkMode(HDC hdc) { return exchange(hdc, &Context::bkMode, 0, 0, false); }
COLORREF SetDCBrushColor(HDC hdc, COLORREF color) {
  return exchange(hdc, &Context::dcBrushColor, color & 0x00FFFFFF, CLR_INVALID, true);
}
