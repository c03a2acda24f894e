#include "platform/win32/user32.h"

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/layer.h"

namespace win32layer {
namespace {

// ---------------------------------------------------------------- state

enum class Builtin { None, Button, Edit, ComboBox };

LRESULT buttonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT editProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT comboProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

struct WindowClass {
  std::u16string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HBRUSH background = nullptr;
  Builtin builtin = Builtin::None;
};

struct Queue;

// A message sent from another thread, waiting for the owner thread.
struct SentMessage {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;  // guarded by the sender's queue mutex
  std::shared_ptr<Queue> sender;
};

// The message queue of one thread. Every change that may end a wait (a post,
// a send, an invalidation, a quit) increments `changes` and wakes the thread.
struct Queue {
  std::mutex m;
  std::condition_variable cv;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit = false;
  int quitCode = 0;
  bool alive = true;
  std::uint64_t changes = 0;
  HWND focus = nullptr;  // guarded by the registry mutex
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<Queue> owner;
  Builtin builtin = Builtin::None;
  WNDPROC proc = nullptr;
  UINT classStyle = 0;
  HBRUSH background = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;
  std::vector<HWND> children;  // in creation order
  // Window rectangle: screen coordinates for a top-level window, the
  // parent's client coordinates for a child.
  int x = 0, y = 0, width = 0, height = 0;
  bool iconic = false;
  int normalX = 0, normalY = 0;
  UINT_PTR id = 0;
  HINSTANCE instance = nullptr;
  LONG_PTR userData = 0;
  std::u16string text;
  // Buttons.
  UINT check = BST_UNCHECKED;
  bool pushed = false;
  // Combo boxes.
  std::vector<std::u16string> items;
  int selection = -1;
  int dropHeight = 0;
  // Edit fields: the caret position in UTF-16 units.
  std::size_t caret = 0;
  // Painting.
  bool invalid = false;
  Region update;  // client coordinates; kept piece by piece, never as one bounding box
  bool erase = false;
  std::uint64_t validations = 0;
  cairo_surface_t* image = nullptr;  // top-level windows only
  bool destroying = false;
};

// All windows and classes. Window procedures are never called while the
// registry mutex is held; a queue mutex is never held while taking it.
struct Registry {
  std::recursive_mutex m;
  std::map<std::uintptr_t, std::shared_ptr<Window>> windows;
  std::vector<HWND> topLevel;  // in creation order
  std::vector<WindowClass> classes;
  std::uintptr_t nextHandle = 0x10010;
  ATOM nextAtom = 0xC000;
};

Registry& registry() {
  // Never destroyed: other threads may still post during exit.
  static Registry* r = [] {
    auto* created = new Registry;
    auto builtin = [&](const char16_t* name, WNDPROC proc, Builtin kind) {
      WindowClass c;
      c.name = name;
      c.atom = created->nextAtom++;
      c.proc = proc;
      c.builtin = kind;
      created->classes.push_back(c);
    };
    builtin(u"Button", buttonProc, Builtin::Button);
    builtin(u"Edit", editProc, Builtin::Edit);
    builtin(u"ComboBox", comboProc, Builtin::ComboBox);
    return created;
  }();
  return *r;
}

using Lock = std::lock_guard<std::recursive_mutex>;

std::uintptr_t value(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

Window* find(HWND hwnd) {
  Registry& r = registry();
  auto it = r.windows.find(value(hwnd));
  return it == r.windows.end() ? nullptr : it->second.get();
}

// ---------------------------------------------------------------- queues

void completeSent(SentMessage& sm, LRESULT result);
void retireQueue(const std::shared_ptr<Queue>& q);

struct QueueHolder {
  std::shared_ptr<Queue> q;
  ~QueueHolder() {
    if (q) retireQueue(q);
  }
};
thread_local QueueHolder t_queue;

std::shared_ptr<Queue> myQueue() {
  if (!t_queue.q) t_queue.q = std::make_shared<Queue>();
  return t_queue.q;
}

bool ownedByCaller(const Window& w) { return t_queue.q && w.owner == t_queue.q; }

void wake(const std::shared_ptr<Queue>& q) {
  if (!q) return;
  {
    std::lock_guard lock(q->m);
    ++q->changes;
  }
  q->cv.notify_all();
}

// ---------------------------------------------------------------- geometry

struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
};

Frame frameOf(const Window& w) {
  if (w.parent) return {};
  if ((w.style & WS_CAPTION) == WS_CAPTION) return {8, 31, 8, 8};
  if (w.style & (WS_THICKFRAME | WS_DLGFRAME)) return {8, 8, 8, 8};
  if (w.style & WS_BORDER) return {1, 1, 1, 1};
  return {};
}

int clientWidth(const Window& w) {
  const Frame f = frameOf(w);
  return std::max(0, w.width - f.left - f.right);
}
int clientHeight(const Window& w) {
  const Frame f = frameOf(w);
  return std::max(0, w.height - f.top - f.bottom);
}

Window* topLevelOf(Window* w) {
  while (w && w->parent) w = find(w->parent);
  return w;
}

// Where the window's client point (0, 0) lies in its top-level image, and
// the part of the image the window may draw on.
bool imagePlacement(Window& w, int& originX, int& originY, RECT& clip) {
  if (!w.parent) {
    originX = 0;
    originY = 0;
    clip = RECT{0, 0, clientWidth(w), clientHeight(w)};
    return w.image != nullptr;
  }
  Window* parent = find(w.parent);
  if (!parent) return false;
  int px = 0, py = 0;
  RECT parentClip{};
  if (!imagePlacement(*parent, px, py, parentClip)) return false;
  originX = px + w.x;
  originY = py + w.y;
  clip = intersect(parentClip, RECT{originX, originY, originX + w.width, originY + w.height});
  return true;
}

// Screen position of the window's client point (0, 0).
POINT clientOrigin(const Window& w) {
  if (!w.parent) {
    const Frame f = frameOf(w);
    return POINT{w.x + f.left, w.y + f.top};
  }
  const Window* parent = find(w.parent);
  POINT p = parent ? clientOrigin(*parent) : POINT{0, 0};
  return POINT{p.x + w.x, p.y + w.y};
}

bool visible(const Window* w) {
  while (w) {
    if (!(w->style & WS_VISIBLE)) return false;
    w = w->parent ? find(w->parent) : nullptr;
  }
  return true;
}

bool enabledWithParents(const Window* w) {
  while (w) {
    if (w->style & WS_DISABLED) return false;
    w = w->parent ? find(w->parent) : nullptr;
  }
  return true;
}

// ---------------------------------------------------------------- invalidation

// Adds a client rectangle to the update region. A parent without
// WS_CLIPCHILDREN paints over its children, so they are invalidated too.
void invalidate(Window& w, const RECT* rect, bool erase, std::vector<std::shared_ptr<Queue>>& toWake) {
  const RECT client{0, 0, clientWidth(w), clientHeight(w)};
  const RECT area = rect ? intersect(*rect, client) : client;
  if (isEmpty(area)) return;
  addToRegion(w.update, area);
  w.invalid = true;
  w.erase = w.erase || erase;
  if (std::find(toWake.begin(), toWake.end(), w.owner) == toWake.end()) toWake.push_back(w.owner);
  if (w.style & WS_CLIPCHILDREN) return;
  for (HWND h : w.children) {
    Window* child = find(h);
    if (!child || !(child->style & WS_VISIBLE)) continue;
    const RECT inChild{area.left - child->x, area.top - child->y, area.right - child->x, area.bottom - child->y};
    invalidate(*child, &inChild, erase, toWake);
  }
}

void wakeAll(const std::vector<std::shared_ptr<Queue>>& queues) {
  for (const auto& q : queues) wake(q);
}

// Invalidates the part of the parent that a child covers (the child was
// hidden, moved or destroyed).
void exposeParentArea(const Window& child, std::vector<std::shared_ptr<Queue>>& toWake) {
  if (!child.parent) return;
  Window* parent = find(child.parent);
  if (!parent) return;
  const RECT area{child.x, child.y, child.x + child.width, child.y + child.height};
  invalidate(*parent, &area, true, toWake);
}

void validate(Window& w) {
  w.invalid = false;
  w.erase = false;
  w.update.clear();
  ++w.validations;
}

// The first visible window of a queue that needs painting: parents before
// children, later children (lower in the z-order) before earlier ones.
Window* paintCandidate(Window& w) {
  if (!(w.style & WS_VISIBLE)) return nullptr;
  if (w.invalid) return &w;
  for (auto it = w.children.rbegin(); it != w.children.rend(); ++it) {
    Window* child = find(*it);
    if (!child) continue;
    if (Window* found = paintCandidate(*child)) return found;
  }
  return nullptr;
}

HWND findPaint(const Queue* q, HWND filter) {
  Registry& r = registry();
  Lock lock(r.m);
  for (HWND h : r.topLevel) {
    Window* top = find(h);
    if (!top || top->owner.get() != q) continue;
    if (filter && filter != h) {
      Window* target = find(filter);
      if (!target || topLevelOf(target) != top) continue;
      return target->invalid && visible(target) ? filter : nullptr;
    }
    if (Window* w = paintCandidate(*top)) return w->handle;
  }
  return nullptr;
}

// ---------------------------------------------------------------- calling procedures

LRESULT callProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    proc = w->proc;
  }
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

void completeSent(SentMessage& sm, LRESULT result) {
  {
    std::lock_guard lock(sm.sender->m);
    sm.result = result;
    sm.done = true;
  }
  sm.sender->cv.notify_all();
}

// Handles the messages other threads sent to this thread's windows.
void processSent(Queue& q) {
  for (;;) {
    std::shared_ptr<SentMessage> sm;
    {
      std::lock_guard lock(q.m);
      if (q.sent.empty()) return;
      sm = q.sent.front();
      q.sent.pop_front();
    }
    completeSent(*sm, callProc(sm->hwnd, sm->msg, sm->wParam, sm->lParam));
  }
}

void retireQueue(const std::shared_ptr<Queue>& q) {
  std::deque<std::shared_ptr<SentMessage>> pending;
  {
    std::lock_guard lock(q->m);
    q->alive = false;
    q->posted.clear();
    pending.swap(q->sent);
  }
  for (auto& sm : pending) completeSent(*sm, 0);
  // The thread is gone: its windows go without messages.
  Registry& r = registry();
  Lock lock(r.m);
  for (auto it = r.windows.begin(); it != r.windows.end();) {
    if (it->second->owner == q) {
      if (it->second->image) cairo_surface_destroy(it->second->image);
      it = r.windows.erase(it);
    } else {
      ++it;
    }
  }
  std::erase_if(r.topLevel, [&](HWND h) { return !find(h); });
  for (auto& [key, w] : r.windows) std::erase_if(w->children, [&](HWND h) { return !find(h); });
}

bool matches(const MSG& m, HWND filter, UINT filterMin, UINT filterMax) {
  if (filter == reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1))) {
    if (m.hwnd) return false;
  } else if (filter && m.hwnd != filter) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) return true;
  return m.message >= filterMin && m.message <= filterMax;
}

DWORD tickCount() {
  using namespace std::chrono;
  return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// One attempt to take a message. `snapshot` gets the change count seen
// before the paint check, so a later wait cannot miss an invalidation.
bool fetch(Queue& q, MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool remove, std::uint64_t& snapshot) {
  processSent(q);
  {
    std::lock_guard lock(q.m);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
      if (!matches(*it, filter, filterMin, filterMax)) continue;
      *out = *it;
      if (remove) q.posted.erase(it);
      return true;
    }
    if (q.quit) {
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, tickCount(), {}};
      if (remove) q.quit = false;
      return true;
    }
    snapshot = q.changes;
  }
  const bool paintWanted = (filterMin == 0 && filterMax == 0) || (WM_PAINT >= filterMin && WM_PAINT <= filterMax);
  if (paintWanted && filter != reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1))) {
    if (HWND h = findPaint(&q, filter)) {
      *out = MSG{h, WM_PAINT, 0, 0, tickCount(), {}};
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- text

std::u16string fromPointer(LPCWSTR text) {
  if (!text) return {};
  std::size_t n = 0;
  while (text[n]) ++n;
  return std::u16string(text, n);
}

// The text a window shows: a drop-down list shows its selected entry.
std::u16string shownText(const Window& w) {
  if (w.builtin == Builtin::ComboBox && (w.style & 0x3) == CBS_DROPDOWNLIST) {
    if (w.selection >= 0 && w.selection < static_cast<int>(w.items.size()))
      return w.items[static_cast<std::size_t>(w.selection)];
    return {};
  }
  return w.text;
}

// WM_SETTEXT for every kind of window. A drop-down list has no text of its
// own, so its selection stays as it is.
LRESULT applyText(Window& w, LPCWSTR text, std::vector<std::shared_ptr<Queue>>& toWake) {
  if (w.builtin == Builtin::ComboBox && (w.style & 0x3) == CBS_DROPDOWNLIST) return CB_ERR;
  w.text = fromPointer(text);
  if (w.builtin == Builtin::Edit) w.caret = 0;
  if (w.builtin != Builtin::None) invalidate(w, nullptr, true, toWake);
  return TRUE;
}

int copyText(const std::u16string& text, LPWSTR buffer, int bufferMax) {
  if (!buffer || bufferMax <= 0) return 0;
  const int n = std::min(static_cast<int>(text.size()), bufferMax - 1);
  std::copy(text.begin(), text.begin() + n, buffer);
  buffer[n] = 0;
  return n;
}

char16_t foldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  return c;
}

bool equalNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  return true;
}

// ---------------------------------------------------------------- classes

const WindowClass* findClass(LPCWSTR name) {
  Registry& r = registry();
  if (!name) return nullptr;
  if (IS_INTRESOURCE(name)) {
    const ATOM atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
    for (const auto& c : r.classes)
      if (c.atom == atom) return &c;
    return nullptr;
  }
  const std::u16string wanted = fromPointer(name);
  for (const auto& c : r.classes)
    if (equalNoCase(c.name, wanted)) return &c;
  return nullptr;
}

// ---------------------------------------------------------------- destruction

void collectTree(Window& w, std::vector<HWND>& preorder) {
  preorder.push_back(w.handle);
  for (HWND h : w.children)
    if (Window* child = find(h)) collectTree(*child, preorder);
}

void removeWindow(HWND hwnd, std::vector<std::shared_ptr<Queue>>& toWake) {
  Registry& r = registry();
  auto it = r.windows.find(value(hwnd));
  if (it == r.windows.end()) return;
  std::shared_ptr<Window> w = it->second;
  if (w->parent) {
    if (Window* parent = find(w->parent)) {
      std::erase(parent->children, hwnd);
      if (visible(w.get())) exposeParentArea(*w, toWake);
    }
  } else {
    std::erase(r.topLevel, hwnd);
  }
  if (w->owner && w->owner->focus == hwnd) w->owner->focus = nullptr;
  if (w->image) cairo_surface_destroy(w->image);
  w->image = nullptr;
  r.windows.erase(it);
  if (w->owner) {
    std::lock_guard lock(w->owner->m);
    std::erase_if(w->owner->posted, [&](const MSG& m) { return m.hwnd == hwnd; });
  }
}

// ---------------------------------------------------------------- built-in controls

struct ControlState {
  std::u16string text;
  DWORD style = 0;
  bool enabled = true;
  UINT check = 0;
  bool pushed = false;
  int width = 0, height = 0;
  std::size_t caret = 0;
  HWND parent = nullptr;
};

bool controlState(HWND hwnd, ControlState& s) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  if (!w) return false;
  s.text = shownText(*w);
  s.style = w->style;
  s.enabled = !(w->style & WS_DISABLED);
  s.check = w->check;
  s.pushed = w->pushed;
  s.width = w->width;
  s.height = w->height;
  s.caret = std::min(w->caret, w->text.size());
  s.parent = w->parent;
  return true;
}

// Asks the parent for the control's colours, as controls do; falls back to
// the default colours when the parent leaves it to the system.
HBRUSH controlBrush(HWND hwnd, HWND parent, HDC hdc, UINT msg) {
  LRESULT brush = 0;
  if (parent) brush = SendMessageW(parent, msg, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd));
  if (!brush) brush = DefWindowProcW(parent, msg, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd));
  return reinterpret_cast<HBRUSH>(brush);
}

void fillColor(HDC hdc, const RECT& r, COLORREF color) {
  HBRUSH b = CreateSolidBrush(color);
  FillRect(hdc, &r, b);
  DeleteObject(b);
}

void outline(HDC hdc, const RECT& r, COLORREF color) {
  if (isEmpty(r)) return;
  HPEN pen = CreatePen(PS_SOLID, 1, color);
  HGDIOBJ old = SelectObject(hdc, pen);
  MoveToEx(hdc, r.left, r.top, nullptr);
  LineTo(hdc, r.right - 1, r.top);
  LineTo(hdc, r.right - 1, r.bottom - 1);
  LineTo(hdc, r.left, r.bottom - 1);
  LineTo(hdc, r.left, r.top);
  SelectObject(hdc, old);
  DeleteObject(pen);
}

void line(HDC hdc, int x0, int y0, int x1, int y1, COLORREF color) {
  HPEN pen = CreatePen(PS_SOLID, 1, color);
  HGDIOBJ old = SelectObject(hdc, pen);
  MoveToEx(hdc, x0, y0, nullptr);
  LineTo(hdc, x1, y1);
  SelectObject(hdc, old);
  DeleteObject(pen);
}

SIZE textSize(HDC hdc, const std::u16string& text) {
  SIZE size{0, 0};
  const std::u16string probe = text.empty() ? u"X" : text;
  GetTextExtentPoint32W(hdc, probe.data(), static_cast<int>(probe.size()), &size);
  if (text.empty()) size.cx = 0;
  return size;
}

constexpr COLORREF kFace = RGB(225, 225, 225);
constexpr COLORREF kFaceDisabled = RGB(204, 204, 204);
constexpr COLORREF kFacePushed = RGB(204, 228, 247);
constexpr COLORREF kBorder = RGB(173, 173, 173);
constexpr COLORREF kBorderDisabled = RGB(191, 191, 191);
constexpr COLORREF kDefaultBorder = RGB(0, 120, 215);
constexpr COLORREF kBoxBorder = RGB(51, 51, 51);
constexpr COLORREF kEditBorder = RGB(122, 122, 122);
constexpr COLORREF kEditBorderDisabled = RGB(204, 204, 204);

void paintButton(HWND hwnd, HDC hdc, const ControlState& s) {
  const COLORREF grey = gdi::systemColor(COLOR_GRAYTEXT);
  const DWORD type = s.style & BS_TYPEMASK;
  const RECT all{0, 0, s.width, s.height};
  if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
    FillRect(hdc, &all, controlBrush(hwnd, s.parent, hdc, WM_CTLCOLORSTATIC));
    const int box = std::min({13, s.width, s.height});
    const int top = (s.height - box) / 2;
    const RECT boxRect{0, top, box, top + box};
    fillColor(hdc, boxRect, RGB(255, 255, 255));
    outline(hdc, boxRect, s.enabled ? kBoxBorder : kEditBorderDisabled);
    const COLORREF mark = s.enabled ? RGB(0, 0, 0) : grey;
    if (s.check == BST_CHECKED) {
      // A tick, two pixels thick: down from the left, then up to the right.
      const int midX = box / 2 - 1, lowY = top + box - 4;
      for (int d = 0; d < 2; ++d) {
        line(hdc, 2, top + box / 2 - 1 + d, midX, lowY + d, mark);
        line(hdc, midX, lowY + d, box - 2, top + 2 + d, mark);
      }
    } else if (s.check == BST_INDETERMINATE) {
      fillColor(hdc, RECT{3, top + 3, box - 3, top + box - 3}, mark);
    }
    if (!s.text.empty()) {
      if (!s.enabled) SetTextColor(hdc, grey);
      const SIZE size = textSize(hdc, s.text);
      TextOutW(hdc, box + 4, (s.height - size.cy) / 2, s.text.data(), static_cast<int>(s.text.size()));
    }
    return;
  }
  // Push button: face, frame and centred caption.
  fillColor(hdc, all, !s.enabled ? kFaceDisabled : s.pushed ? kFacePushed : kFace);
  outline(hdc, all, !s.enabled ? kBorderDisabled : type == BS_DEFPUSHBUTTON ? kDefaultBorder : kBorder);
  if (!s.text.empty()) {
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, s.enabled ? gdi::systemColor(COLOR_BTNTEXT) : grey);
    const SIZE size = textSize(hdc, s.text);
    TextOutW(hdc, (s.width - size.cx) / 2, (s.height - size.cy) / 2, s.text.data(), static_cast<int>(s.text.size()));
  }
}

void paintEdit(HWND hwnd, HDC hdc, const ControlState& s) {
  const bool active = s.enabled && !(s.style & ES_READONLY);
  const RECT all{0, 0, s.width, s.height};
  FillRect(hdc, &all, controlBrush(hwnd, s.parent, hdc, active ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC));
  const int border = (s.style & WS_BORDER) ? 1 : 0;
  if (!s.enabled) SetTextColor(hdc, gdi::systemColor(COLOR_GRAYTEXT));
  if (!s.text.empty()) {
    // Scroll so that the caret stays inside the field.
    const int inner = s.width - 2 * border - 4;
    const int caretX = textSize(hdc, s.text.substr(0, s.caret)).cx;
    const int scroll = std::max(0, caretX - inner + 1);
    const SIZE size = textSize(hdc, s.text);
    TextOutW(hdc, border + 2 - scroll, (s.height - size.cy) / 2, s.text.data(), static_cast<int>(s.text.size()));
  }
  if (border) outline(hdc, all, s.enabled ? kEditBorder : kEditBorderDisabled);
}

void paintCombo(HDC hdc, const ControlState& s) {
  const RECT all{0, 0, s.width, s.height};
  const COLORREF ink = s.enabled ? RGB(0, 0, 0) : gdi::systemColor(COLOR_GRAYTEXT);
  fillColor(hdc, all, s.enabled ? kFace : kFaceDisabled);
  outline(hdc, all, s.enabled ? kBorder : kBorderDisabled);
  if (!s.text.empty()) {
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, ink);
    const SIZE size = textSize(hdc, s.text);
    TextOutW(hdc, 4, (s.height - size.cy) / 2, s.text.data(), static_cast<int>(s.text.size()));
  }
  // The drop-down arrow.
  const int cx = s.width - 9, cy = s.height / 2 - 1;
  for (int i = 0; i < 4; ++i) line(hdc, cx - 3 + i, cy + i, cx + 4 - i, cy + i, ink);
}

void paintControl(HWND hwnd, Builtin kind) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  if (!hdc) return;
  ControlState s;
  if (controlState(hwnd, s)) {
    switch (kind) {
      case Builtin::Button: paintButton(hwnd, hdc, s); break;
      case Builtin::Edit: paintEdit(hwnd, hdc, s); break;
      case Builtin::ComboBox: paintCombo(hdc, s); break;
      case Builtin::None: break;
    }
  }
  EndPaint(hwnd, &ps);
}

void notifyParent(HWND hwnd, WORD code) {
  HWND parent = nullptr;
  UINT_PTR id = 0;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) return;
    parent = w->parent;
    id = w->id;
  }
  if (parent)
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), code), reinterpret_cast<LPARAM>(hwnd));
}

// Runs `change` on the window under the registry lock, then wakes the
// threads whose windows it invalidated.
template <typename F>
auto withWindow(HWND hwnd, F change) -> decltype(change(std::declval<Window&>(), std::declval<std::vector<std::shared_ptr<Queue>>&>())) {
  std::vector<std::shared_ptr<Queue>> toWake;
  using Result = decltype(change(std::declval<Window&>(), toWake));
  Result result{};
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return result;
    }
    result = change(*w, toWake);
  }
  wakeAll(toWake);
  return result;
}

LRESULT buttonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case BM_SETCHECK:
      return withWindow(hwnd, [&](Window& w, auto& toWake) -> LRESULT {
        const DWORD type = w.style & BS_TYPEMASK;
        if (type != BS_CHECKBOX && type != BS_AUTOCHECKBOX) return 0;
        const UINT state = wParam == BST_CHECKED ? BST_CHECKED : wParam == BST_INDETERMINATE ? BST_CHECKED : BST_UNCHECKED;
        if (state != w.check) {
          w.check = state;
          invalidate(w, nullptr, true, toWake);
        }
        return 0;
      });
    case BM_GETCHECK:
      return withWindow(hwnd, [&](Window& w, auto&) -> LRESULT { return w.check; });
    case BM_CLICK:
      SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
      return 0;
    case WM_LBUTTONDOWN:
      withWindow(hwnd, [&](Window& w, auto& toWake) -> int {
        if (w.style & WS_DISABLED) return 0;
        w.pushed = true;
        invalidate(w, nullptr, true, toWake);
        return 0;
      });
      SetFocus(hwnd);
      return 0;
    case WM_LBUTTONUP: {
      // A plain checkbox only tells its parent; the program sets the tick.
      const bool clicked = withWindow(hwnd, [&](Window& w, auto& toWake) -> bool {
        if (!w.pushed) return false;
        w.pushed = false;
        if ((w.style & BS_TYPEMASK) == BS_AUTOCHECKBOX) w.check = w.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        invalidate(w, nullptr, true, toWake);
        return true;
      });
      if (clicked) notifyParent(hwnd, BN_CLICKED);
      return 0;
    }
    case WM_PAINT:
      paintControl(hwnd, Builtin::Button);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole control
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

LRESULT editProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CHAR: {
      const char16_t c = static_cast<char16_t>(wParam);
      const bool changed = withWindow(hwnd, [&](Window& w, auto& toWake) -> bool {
        if (w.style & (WS_DISABLED | ES_READONLY)) return false;
        w.caret = std::min(w.caret, w.text.size());
        if (c == 8) {  // backspace
          if (w.caret == 0) return false;
          std::size_t from = w.caret - 1;
          if (from > 0 && w.text[from] >= 0xDC00 && w.text[from] <= 0xDFFF && w.text[from - 1] >= 0xD800 &&
              w.text[from - 1] <= 0xDBFF)
            --from;  // a whole surrogate pair
          w.text.erase(from, w.caret - from);
          w.caret = from;
        } else if (c >= 0x20 && c != 0x7F) {
          if (w.text.size() >= 30000) return false;
          w.text.insert(w.text.begin() + static_cast<std::ptrdiff_t>(w.caret), c);
          ++w.caret;
        } else {
          return false;  // Enter, Tab and other control characters: nothing
        }
        invalidate(w, nullptr, true, toWake);
        return true;
      });
      if (changed) notifyParent(hwnd, EN_CHANGE);
      return 0;
    }
    case WM_LBUTTONDOWN:
      withWindow(hwnd, [&](Window& w, auto&) -> int {
        w.caret = w.text.size();
        return 0;
      });
      SetFocus(hwnd);
      return 0;
    case WM_PAINT:
      paintControl(hwnd, Builtin::Edit);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

LRESULT comboProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto text = reinterpret_cast<LPCWSTR>(lParam);
  const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
  switch (msg) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
      return withWindow(hwnd, [&](Window& w, auto& toWake) -> LRESULT {
        if (!text) return CB_ERR;
        const int count = static_cast<int>(w.items.size());
        const int at = msg == CB_ADDSTRING || index < 0 ? count : index;
        if (at > count) return CB_ERR;
        w.items.insert(w.items.begin() + at, fromPointer(text));
        if (w.selection >= at) {
          ++w.selection;
        }
        invalidate(w, nullptr, true, toWake);
        return at;
      });
    case CB_DELETESTRING:
      return withWindow(hwnd, [&](Window& w, auto& toWake) -> LRESULT {
        if (index < 0 || index >= static_cast<int>(w.items.size())) return CB_ERR;
        w.items.erase(w.items.begin() + index);
        if (w.selection == index) w.selection = -1;
        else if (w.selection > index) --w.selection;
        invalidate(w, nullptr, true, toWake);
        return static_cast<LRESULT>(w.items.size());
      });
    case CB_RESETCONTENT:
      return withWindow(hwnd, [&](Window& w, auto& toWake) -> LRESULT {
        w.items.clear();
        w.selection = -1;
        invalidate(w, nullptr, true, toWake);
        return CB_OKAY;
      });
    case CB_GETCOUNT:
      return withWindow(hwnd, [&](Window& w, auto&) -> LRESULT { return static_cast<LRESULT>(w.items.size()); });
    case CB_SETCURSEL:
      // No notification: only a user's pick sends CBN_SELCHANGE.
      return withWindow(hwnd, [&](Window& w, auto& toWake) -> LRESULT {
        const bool valid = index >= 0 && index < static_cast<int>(w.items.size());
        const int selection = valid ? index : -1;
        if (selection != w.selection) {
          w.selection = selection;
          invalidate(w, nullptr, true, toWake);
        }
        return valid ? index : CB_ERR;
      });
    case CB_GETCURSEL:
      return withWindow(hwnd, [&](Window& w, auto&) -> LRESULT { return w.selection >= 0 ? w.selection : CB_ERR; });
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN:
      return withWindow(hwnd, [&](Window& w, auto&) -> LRESULT {
        if (index < 0 || index >= static_cast<int>(w.items.size())) return CB_ERR;
        const std::u16string& item = w.items[static_cast<std::size_t>(index)];
        if (msg == CB_GETLBTEXT) {
          auto* buffer = reinterpret_cast<LPWSTR>(lParam);
          if (!buffer) return CB_ERR;
          std::copy(item.begin(), item.end(), buffer);
          buffer[item.size()] = 0;
        }
        return static_cast<LRESULT>(item.size());
      });
    case CB_FINDSTRINGEXACT:
    case CB_SELECTSTRING:
      return withWindow(hwnd, [&](Window& w, auto& toWake) -> LRESULT {
        if (!text || w.items.empty()) return CB_ERR;
        const std::u16string wanted = fromPointer(text);
        const int count = static_cast<int>(w.items.size());
        const int start = index < 0 || index >= count ? -1 : index;
        for (int k = 1; k <= count; ++k) {
          const int i = (start + k) % count;
          const std::u16string& item = w.items[static_cast<std::size_t>(i)];
          const bool hit = msg == CB_FINDSTRINGEXACT
                               ? equalNoCase(item, wanted)
                               : item.size() >= wanted.size() && equalNoCase(std::u16string_view(item).substr(0, wanted.size()), wanted);
          if (!hit) continue;
          if (msg == CB_SELECTSTRING && w.selection != i) {
            w.selection = i;
            invalidate(w, nullptr, true, toWake);
          }
          return i;
        }
        return CB_ERR;
      });
    case WM_LBUTTONDOWN:
      SetFocus(hwnd);
      return 0;
    case WM_PAINT:
      paintControl(hwnd, Builtin::ComboBox);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

// ---------------------------------------------------------------- resources

// The program's string table and icon, as its resource script declares them.
struct StringResource {
  UINT id;
  const char16_t* text;
};
constexpr StringResource kStrings[] = {{101, u"Skyloom"}};
constexpr WORD kIconId = 100;

}  // namespace

// ---------------------------------------------------------------- internal joints

bool windowImage(HWND hwnd, ImageView& view) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  if (!w) return false;
  Window* top = topLevelOf(w);
  RECT clip{};
  if (!top || !top->image || !imagePlacement(*w, view.originX, view.originY, clip)) return false;
  const RECT client{view.originX, view.originY, view.originX + clientWidth(*w), view.originY + clientHeight(*w)};
  view.area = intersect(clip, client);
  view.image = cairo_surface_reference(top->image);
  return true;
}

void paintPendingWindows() {
  std::shared_ptr<Queue> q = myQueue();
  // A window procedure that never validates would be asked forever; such a
  // window is validated after its WM_PAINT so that this always ends.
  for (int guard = 0; guard < 100000; ++guard) {
    HWND h = findPaint(q.get(), nullptr);
    if (!h) return;
    const std::uint64_t before = validationCount(h);
    SendMessageW(h, WM_PAINT, 0, 0);
    if (validationCount(h) == before) ValidateRect(h, nullptr);
  }
}

bool acceptsInput(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  return w && visible(w) && enabledWithParents(w);
}

std::uint64_t validationCount(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  return w ? w->validations : 0;
}

bool userPicksComboEntry(HWND combo, int index) {
  const bool picked = withWindow(combo, [&](Window& w, auto& toWake) -> bool {
    if (w.builtin != Builtin::ComboBox || index < 0 || index >= static_cast<int>(w.items.size())) return false;
    if (w.selection != index) {
      w.selection = index;
      invalidate(w, nullptr, true, toWake);
    }
    return true;
  });
  if (picked) notifyParent(combo, CBN_SELCHANGE);
  return picked;
}

bool waitForMessages(std::chrono::milliseconds timeout) {
  std::shared_ptr<Queue> q = myQueue();
  MSG m;
  std::uint64_t snapshot = 0;
  if (fetch(*q, &m, nullptr, 0, 0, false, snapshot)) return true;
  std::unique_lock lock(q->m);
  return q->cv.wait_for(lock, timeout, [&] { return q->changes != snapshot || !q->sent.empty(); });
}

void discardThreadWindows() {
  std::shared_ptr<Queue> q = myQueue();
  std::vector<HWND> mine;
  {
    Registry& r = registry();
    Lock lock(r.m);
    for (HWND h : r.topLevel) {
      Window* w = find(h);
      if (w && w->owner == q) mine.push_back(h);
    }
  }
  for (HWND h : mine) DestroyWindow(h);
  processSent(*q);
  std::lock_guard lock(q->m);
  q->posted.clear();
  q->quit = false;
}

}  // namespace win32layer

using namespace win32layer;

// ---------------------------------------------------------------- module and resources

HINSTANCE GetModuleHandleW(LPCWSTR) { return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x400000)); }

int LoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int bufferMax) {
  for (const auto& s : kStrings) {
    if (s.id != id) continue;
    const std::u16string text = s.text;
    if (!buffer) return 0;
    if (bufferMax == 0) {
      *reinterpret_cast<const char16_t**>(buffer) = s.text;
      return static_cast<int>(text.size());
    }
    return copyText(text, buffer, bufferMax);
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  if (buffer && bufferMax > 0) buffer[0] = 0;
  return 0;
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  if (instance && IS_INTRESOURCE(name) && reinterpret_cast<std::uintptr_t>(name) != kIconId) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HICON>(static_cast<std::uintptr_t>(0x3000 + (reinterpret_cast<std::uintptr_t>(name) & 0xFFFF)));
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name) {
  return reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(0x4000 + (reinterpret_cast<std::uintptr_t>(name) & 0xFFFF)));
}

// ---------------------------------------------------------------- classes

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass) {
  if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXW) || !windowClass->lpfnWndProc ||
      !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Registry& r = registry();
  Lock lock(r.m);
  if (findClass(windowClass->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  WindowClass c;
  c.name = fromPointer(windowClass->lpszClassName);
  c.atom = r.nextAtom++;
  c.style = windowClass->style;
  c.proc = windowClass->lpfnWndProc;
  c.instance = windowClass->hInstance;
  c.background = windowClass->hbrBackground;
  r.classes.push_back(c);
  return c.atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
  Registry& r = registry();
  Lock lock(r.m);
  const WindowClass* c = findClass(className);
  if (!c || c->builtin != Builtin::None) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  r.classes.erase(r.classes.begin() + (c - r.classes.data()));
  return TRUE;
}

// ---------------------------------------------------------------- windows

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
  HWND hwnd = nullptr;
  std::shared_ptr<Queue> q = myQueue();
  {
    Registry& r = registry();
    Lock lock(r.m);
    const WindowClass* c = findClass(className);
    if (!c) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if ((style & WS_CHILD) && !parent) {
      SetLastError(ERROR_TLW_WITH_WSCHILD);
      return nullptr;
    }
    Window* parentWindow = parent ? find(parent) : nullptr;
    if (parent && !parentWindow) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    auto w = std::make_shared<Window>();
    hwnd = reinterpret_cast<HWND>(r.nextHandle);
    r.nextHandle += 2;
    w->handle = hwnd;
    w->owner = q;
    w->builtin = c->builtin;
    w->proc = c->proc;
    w->classStyle = c->style;
    w->background = c->background;
    w->style = style;
    w->exStyle = exStyle;
    w->instance = instance;
    w->text = fromPointer(windowName);
    const bool child = (style & WS_CHILD) != 0;
    if (x == CW_USEDEFAULT) x = y = child ? 0 : 100;
    if (width == CW_USEDEFAULT) width = height = child ? 0 : -1;
    if (width < 0) {
      width = 640;
      height = 480;
    }
    w->x = x;
    w->y = y;
    w->width = std::max(0, width);
    w->height = std::max(0, height);
    if (w->builtin == Builtin::ComboBox) {
      // A closed combo box shows its selection field only.
      w->dropHeight = w->height;
      w->height = std::min(w->height, 21);
    }
    if (child) {
      w->parent = parent;
      w->id = reinterpret_cast<UINT_PTR>(menu);
      parentWindow->children.push_back(hwnd);
    } else {
      // Without WS_CHILD, a parent is only an owner: the window is top-level.
      r.topLevel.push_back(hwnd);
      w->image = gdi::createImage(clientWidth(*w), clientHeight(*w));
    }
    r.windows.emplace(value(hwnd), w);
  }

  CREATESTRUCTW cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style), windowName, className, exStyle};
  if (!SendMessageW(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;
  withWindow(hwnd, [](Window& w, auto& toWake) -> int {
    if (w.style & WS_VISIBLE) invalidate(w, nullptr, true, toWake);
    return 0;
  });
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  std::vector<HWND> tree;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (!ownedByCaller(*w)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;
    collectTree(*w, tree);
    for (HWND h : tree) find(h)->destroying = true;
  }
  // WM_DESTROY goes to the window before its children; WM_NCDESTROY after.
  for (HWND h : tree) callProc(h, WM_DESTROY, 0, 0);
  for (auto it = tree.rbegin(); it != tree.rend(); ++it) callProc(*it, WM_NCDESTROY, 0, 0);
  std::vector<std::shared_ptr<Queue>> toWake;
  {
    Registry& r = registry();
    Lock lock(r.m);
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) removeWindow(*it, toWake);
  }
  wakeAll(toWake);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  return find(hwnd) != nullptr;
}

HWND GetParent(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  return w ? w->parent : nullptr;
}

HWND GetDlgItem(HWND parent, int id) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* p = find(parent);
  if (!p) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  for (HWND h : p->children) {
    Window* c = find(h);
    if (c && static_cast<int>(c->id) == id) return h;
  }
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  return w && w->parent ? static_cast<int>(w->id) : 0;
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_SETTEXT:
      return withWindow(hwnd, [&](Window& w, auto& toWake) -> LRESULT {
        return applyText(w, reinterpret_cast<LPCWSTR>(lParam), toWake);
      });
    case WM_GETTEXT:
      return withWindow(hwnd, [&](Window& w, auto&) -> LRESULT {
        return copyText(shownText(w), reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
      });
    case WM_GETTEXTLENGTH:
      return withWindow(hwnd, [&](Window& w, auto&) -> LRESULT { return static_cast<LRESULT>(shownText(w).size()); });
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH background = nullptr;
      RECT client{};
      {
        Registry& r = registry();
        Lock lock(r.m);
        Window* w = find(hwnd);
        if (!w) return 0;
        background = w->background;
        client = RECT{0, 0, clientWidth(*w), clientHeight(*w)};
      }
      if (!background) return 0;
      FillRect(reinterpret_cast<HDC>(wParam), &client, background);
      return 1;
    }
    case WM_CTLCOLOREDIT: {
      auto hdc = reinterpret_cast<HDC>(wParam);
      SetTextColor(hdc, gdi::systemColor(COLOR_WINDOWTEXT));
      SetBkColor(hdc, gdi::systemColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(gdi::systemColorBrush(COLOR_WINDOW));
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      auto hdc = reinterpret_cast<HDC>(wParam);
      SetTextColor(hdc, gdi::systemColor(COLOR_WINDOWTEXT));
      SetBkColor(hdc, gdi::systemColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(gdi::systemColorBrush(COLOR_BTNFACE));
    }
    default:
      return 0;
  }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR newValue) {
  std::vector<std::shared_ptr<Queue>> toWake;
  LONG_PTR previous = 0;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    switch (index) {
      case GWLP_WNDPROC:
        if (!newValue) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(newValue);
        break;
      case GWLP_USERDATA:
        previous = w->userData;
        w->userData = newValue;
        break;
      case GWLP_ID:
        previous = static_cast<LONG_PTR>(w->id);
        w->id = static_cast<UINT_PTR>(newValue);
        break;
      case GWLP_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(w->instance);
        w->instance = reinterpret_cast<HINSTANCE>(newValue);
        break;
      case GWL_STYLE:
        previous = static_cast<LONG_PTR>(w->style);
        w->style = static_cast<DWORD>(newValue);
        invalidate(*w, nullptr, true, toWake);
        break;
      case GWL_EXSTYLE:
        previous = static_cast<LONG_PTR>(w->exStyle);
        w->exStyle = static_cast<DWORD>(newValue);
        break;
      default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
  }
  wakeAll(toWake);
  return previous;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_USERDATA: return w->userData;
    case GWLP_ID: return static_cast<LONG_PTR>(w->id);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent);
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
  bool owner = false;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    owner = ownedByCaller(*w);
  }
  LRESULT result = 0;
  if (owner) {
    result = SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  } else {
    result = withWindow(hwnd, [&](Window& w, auto& toWake) -> LRESULT { return applyText(w, text, toWake); });
  }
  return result > 0 ? TRUE : FALSE;
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int bufferMax) {
  if (!buffer || bufferMax <= 0) return 0;
  bool owner = false;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      buffer[0] = 0;
      return 0;
    }
    owner = ownedByCaller(*w);
    if (!owner) return copyText(shownText(*w), buffer, bufferMax);
  }
  buffer[0] = 0;
  return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(bufferMax), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND hwnd) {
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (!ownedByCaller(*w)) return static_cast<int>(shownText(*w).size());
  }
  return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  return withWindow(hwnd, [&](Window& w, auto& toWake) -> BOOL {
    const bool wasDisabled = (w.style & WS_DISABLED) != 0;
    if (enable) w.style &= ~WS_DISABLED;
    else w.style |= WS_DISABLED;
    if (wasDisabled == static_cast<bool>(enable)) {
      invalidate(w, nullptr, true, toWake);
      // A disabled window loses the keyboard focus.
      if (!enable && w.owner && w.owner->focus == w.handle) w.owner->focus = nullptr;
    }
    return wasDisabled ? TRUE : FALSE;
  });
}

BOOL IsWindowEnabled(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  return withWindow(hwnd, [&](Window& w, auto& toWake) -> BOOL {
    const bool wasVisible = (w.style & WS_VISIBLE) != 0;
    if (command == SW_HIDE) {
      if (wasVisible) {
        w.style &= ~WS_VISIBLE;
        exposeParentArea(w, toWake);
      }
      return wasVisible;
    }
    if ((command == SW_MINIMIZE || command == SW_SHOWMINIMIZED) && !w.parent && !w.iconic) {
      w.iconic = true;
      w.normalX = w.x;
      w.normalY = w.y;
      w.x = -32000;
      w.y = -32000;
    } else if ((command == SW_RESTORE || command == SW_SHOWNORMAL || command == SW_SHOWDEFAULT) && w.iconic) {
      w.iconic = false;
      w.x = w.normalX;
      w.y = w.normalY;
    }
    w.style |= WS_VISIBLE;
    if (!wasVisible || command == SW_RESTORE) invalidate(w, nullptr, true, toWake);
    return wasVisible;
  });
}

BOOL IsWindowVisible(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  return w && visible(w) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  return w && w->iconic ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (w->iconic) {
    // Where Windows keeps a minimised window, with the size of its button.
    *rect = RECT{-32000, -32000, -32000 + 160, -32000 + 28};
    return TRUE;
  }
  if (!w->parent) {
    *rect = RECT{w->x, w->y, w->x + w->width, w->y + w->height};
  } else {
    const Window* parent = find(w->parent);
    const POINT origin = parent ? clientOrigin(*parent) : POINT{0, 0};
    *rect = RECT{origin.x + w->x, origin.y + w->y, origin.x + w->x + w->width, origin.y + w->y + w->height};
  }
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = w->iconic ? RECT{0, 0, 0, 0} : RECT{0, 0, clientWidth(*w), clientHeight(*w)};
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  return withWindow(hwnd, [&](Window& w, auto& toWake) -> BOOL {
    if (!(flags & SWP_NOZORDER) && !w.parent) {
      if (insertAfter == HWND_TOPMOST) w.exStyle |= WS_EX_TOPMOST;
      else if (insertAfter == HWND_NOTOPMOST) w.exStyle &= ~WS_EX_TOPMOST;
    }
    bool changed = false;
    if (!(flags & SWP_NOMOVE)) {
      if (w.iconic) {
        w.normalX = x;  // takes effect when the window is restored
        w.normalY = y;
      } else if (x != w.x || y != w.y) {
        if (visible(&w)) exposeParentArea(w, toWake);
        w.x = x;
        w.y = y;
        changed = w.parent != nullptr;  // a moved top-level keeps its image
      }
    }
    if (!(flags & SWP_NOSIZE)) {
      int height = std::max(0, cy);
      if (w.builtin == Builtin::ComboBox) {
        w.dropHeight = height;
        height = std::min(height, 21);
      }
      if (cx != w.width || height != w.height) {
        if (visible(&w)) exposeParentArea(w, toWake);
        w.width = std::max(0, cx);
        w.height = height;
        if (w.image) {
          // A new image of the new client size, starting from the old pixels.
          cairo_surface_t* image = gdi::createImage(clientWidth(w), clientHeight(w));
          cairo_t* cr = cairo_create(image);
          cairo_set_source_surface(cr, w.image, 0, 0);
          cairo_paint(cr);
          cairo_destroy(cr);
          cairo_surface_destroy(w.image);
          w.image = image;
        }
        changed = true;
      }
    }
    if (flags & SWP_HIDEWINDOW && (w.style & WS_VISIBLE)) {
      w.style &= ~WS_VISIBLE;
      exposeParentArea(w, toWake);
    } else if (flags & SWP_SHOWWINDOW && !(w.style & WS_VISIBLE)) {
      w.style |= WS_VISIBLE;
      changed = true;
    }
    if (changed) invalidate(w, nullptr, true, toWake);
    return TRUE;
  });
}

HWND SetFocus(HWND hwnd) {
  HWND previous = nullptr;
  {
    Registry& r = registry();
    Lock lock(r.m);
    std::shared_ptr<Queue> q = myQueue();
    previous = q->focus;
    if (hwnd) {
      Window* w = find(hwnd);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      if (w->owner != q || !enabledWithParents(w)) return nullptr;
    }
    if (previous == hwnd) return previous;
    q->focus = hwnd;
  }
  if (previous) SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd) SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

HWND GetFocus() {
  Registry& r = registry();
  Lock lock(r.m);
  return t_queue.q ? t_queue.q->focus : nullptr;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND button = GetDlgItem(dialog, id);
  if (!button) return FALSE;
  SendMessageW(button, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (!button) return 0;
  return static_cast<UINT>(SendMessageW(button, BM_GETCHECK, 0, 0));
}

COLORREF GetSysColor(int index) { return gdi::systemColor(index); }
HBRUSH GetSysColorBrush(int index) { return gdi::systemColorBrush(index); }

// ---------------------------------------------------------------- painting

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  std::vector<std::shared_ptr<Queue>> toWake;
  {
    Registry& r = registry();
    Lock lock(r.m);
    if (!hwnd) {
      for (HWND h : r.topLevel)
        if (Window* w = find(h)) invalidate(*w, nullptr, erase != FALSE, toWake);
    } else {
      Window* w = find(hwnd);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
      }
      invalidate(*w, rect, erase != FALSE, toWake);
    }
  }
  wakeAll(toWake);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (rect) w->update = subtract(w->update, *rect);
  if (!rect || w->update.empty()) validate(*w);
  return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (rect) *rect = w->invalid ? bounds(w->update) : RECT{0, 0, 0, 0};
  return w->invalid ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
  bool paint = false;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    paint = w->invalid && visible(w);
  }
  if (paint) SendMessageW(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

namespace {

// A context for the window's client area within its top-level image,
// clipped to `limit` (client coordinates) when given.
HDC windowDC(Window& w, const Region* limit) {
  int originX = 0, originY = 0;
  RECT clip{};
  Window* top = topLevelOf(&w);
  if (top && top->image && imagePlacement(w, originX, originY, clip)) {
    if (!limit) return gdi::createDC(top->image, originX, originY, clip);
    Region region;
    for (const RECT& r : *limit)
      if (const RECT part = intersect(clip, RECT{r.left + originX, r.top + originY, r.right + originX,
                                                  r.bottom + originY});
          !isEmpty(part))
        region.push_back(part);
    return gdi::createDC(top->image, originX, originY, region);
  }
  // No image to draw on: a context that draws nowhere.
  cairo_surface_t* scratch = gdi::createImage(1, 1);
  HDC hdc = gdi::createDC(scratch, 0, 0, RECT{0, 0, 0, 0});
  cairo_surface_destroy(scratch);
  return hdc;
}

}  // namespace

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
  if (!paint) return nullptr;
  bool erase = false;
  HDC hdc = nullptr;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    *paint = PAINTSTRUCT{};
    paint->rcPaint = w->invalid ? bounds(w->update) : RECT{0, 0, 0, 0};
    erase = w->invalid && w->erase;
    // The paint may draw on the update region only, never over a visible
    // child: the children draw themselves.
    Region region = w->invalid ? w->update : Region{};
    for (HWND h : w->children) {
      const Window* child = find(h);
      if (child && (child->style & WS_VISIBLE))
        region = subtract(region, RECT{child->x, child->y, child->x + child->width, child->y + child->height});
    }
    validate(*w);
    hdc = windowDC(*w, &region);
  }
  paint->hdc = hdc;
  if (erase) paint->fErase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
  return hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
  if (!paint) return FALSE;
  gdi::deleteDC(paint->hdc);
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  Registry& r = registry();
  Lock lock(r.m);
  Window* w = find(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return windowDC(*w, nullptr);
}

int ReleaseDC(HWND, HDC hdc) { return gdi::deleteDC(hdc) ? 1 : 0; }

// ---------------------------------------------------------------- messages

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Queue> q;
  if (!hwnd) {
    q = myQueue();  // a message for the calling thread itself
  } else {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    q = w->owner;
  }
  {
    std::lock_guard lock(q->m);
    if (!q->alive) return FALSE;
    q->posted.push_back(MSG{hwnd, msg, wParam, lParam, tickCount(), {}});
    ++q->changes;
  }
  q->cv.notify_all();
  return TRUE;
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Queue> owner;
  {
    Registry& r = registry();
    Lock lock(r.m);
    Window* w = find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    owner = w->owner;
  }
  if (owner == t_queue.q) return callProc(hwnd, msg, wParam, lParam);

  // Another thread's window: hand the message over and wait, handling
  // what is sent to this thread meanwhile so two threads never deadlock
  // by sending to each other.
  std::shared_ptr<Queue> me = myQueue();
  auto sm = std::make_shared<SentMessage>();
  sm->hwnd = hwnd;
  sm->msg = msg;
  sm->wParam = wParam;
  sm->lParam = lParam;
  sm->sender = me;
  {
    std::lock_guard lock(owner->m);
    if (!owner->alive) return 0;
    owner->sent.push_back(sm);
    ++owner->changes;
  }
  owner->cv.notify_all();
  std::unique_lock lock(me->m);
  while (!sm->done) {
    if (!me->sent.empty()) {
      lock.unlock();
      processSent(*me);
      lock.lock();
      continue;
    }
    me->cv.wait(lock);
  }
  return sm->result;
}

void PostQuitMessage(int exitCode) {
  std::shared_ptr<Queue> q = myQueue();
  {
    std::lock_guard lock(q->m);
    q->quit = true;
    q->quitCode = exitCode;
    ++q->changes;
  }
  q->cv.notify_all();
}

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg || (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)) && !IsWindow(hwnd))) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  std::shared_ptr<Queue> q = myQueue();
  for (;;) {
    std::uint64_t snapshot = 0;
    if (fetch(*q, msg, hwnd, filterMin, filterMax, true, snapshot)) return msg->message == WM_QUIT ? FALSE : TRUE;
    std::unique_lock lock(q->m);
    q->cv.wait(lock, [&] { return q->changes != snapshot || !q->sent.empty(); });
  }
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg) return FALSE;
  std::shared_ptr<Queue> q = myQueue();
  std::uint64_t snapshot = 0;
  return fetch(*q, msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, snapshot) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) {
  // Key messages are never queued here (the test driver types characters
  // as WM_CHAR directly), so there is nothing to translate.
  return FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  return callProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}
