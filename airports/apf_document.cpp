// Loading a park file (or a learned file) for reading: a file of the plain
// form the program writes is kept as text and its stand elements are parsed
// one at a time; any other file is parsed whole, within a bound of memory.
#include "airports/park_file.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "app/file_stamp.h"
#include "app/files.h"
#include "app/runstate.h"
#include "app/xml.h"

namespace {
std::atomic<std::uintmax_t> g_apfReadLimit{kApfMaxFileBytes};
}  // namespace

std::uintmax_t gf_apfMaxFileBytes() { return g_apfReadLimit.load(); }

void gf_setApfMaxFileBytesForTests(std::uintmax_t bytes) { g_apfReadLimit.store(bytes == 0 ? kApfMaxFileBytes : bytes); }

bool gf_loadApfDocument(const std::filesystem::path& path, pugi::xml_document& document, std::string& error) {
  const FileReadResult loaded = gf_loadXmlFile(path, gf_apfMaxFileBytes(), document);
  error = loaded.detail;
  return static_cast<bool>(loaded);
}

namespace {

// Where the stand elements of a park file of the plain form lie in its text.
struct PlainLayout {
  std::size_t contentBegin = 0;  // of the first top-level "parkpositions"; both 0 without one
  std::size_t contentEnd = 0;
  std::vector<std::pair<std::size_t, std::size_t>> parkpos;  // [begin, end) of each "parkpos" child
};

bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool lf_isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'; }
bool lf_isNameChar(char c) { return lf_isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

enum class PlainScan { plain, other, stopped };

// Whether an XML declaration names no encoding, or UTF-8 (as an editor that
// saves the file may add): the text then reads the same whole or element by
// element. Any other encoding is left to the XML library.
bool lf_declaresUtf8OrNothing(std::string_view declaration) {
  const std::size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return true;
  std::size_t k = at + 8;
  while (k < declaration.size() && lf_isBlank(declaration[k])) ++k;
  if (k >= declaration.size() || declaration[k] != '=') return false;
  ++k;
  while (k < declaration.size() && lf_isBlank(declaration[k])) ++k;
  if (k >= declaration.size() || (declaration[k] != '"' && declaration[k] != '\'')) return false;
  const std::size_t close = declaration.find(declaration[k], k + 1);
  if (close == std::string_view::npos) return false;
  std::string value(declaration.substr(k + 1, close - k - 1));
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return (value == "utf-8" || value == "utf8") && declaration.find("encoding", close) == std::string_view::npos;
}

constexpr std::size_t kPlainMaxDepth = 64;

// Scans the text for the plain form the program writes: UTF-8 without an
// "encoding" declaration, elements with quoted attributes, text, comments;
// no NUL, CDATA, document type, processing instruction or text outside the
// elements. A text of this form parses to the same elements whole or element
// by element. Other for anything else (including what is not well formed):
// such a file is left to the XML library whole.
PlainScan lf_scanPlainApf(std::string_view text, PlainLayout& layout) {
  if (text.find('\0') != std::string_view::npos) return PlainScan::other;
  std::size_t i = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  if (text.substr(i, 5) == "<?xml" && i + 5 < text.size() && lf_isBlank(text[i + 5])) {
    const std::size_t end = text.find("?>", i);
    if (end == std::string_view::npos || !lf_declaresUtf8OrNothing(text.substr(i, end - i))) return PlainScan::other;
    i = end + 2;
  }
  const auto name = [&](std::size_t at) -> std::string_view {
    if (at >= text.size() || !lf_isNameStart(text[at])) return {};
    std::size_t end = at + 1;
    while (end < text.size() && lf_isNameChar(text[end])) ++end;
    return text.substr(at, end - at);
  };
  const auto skipBlanks = [&](std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && lf_isBlank(text[at])) ++at;
    return at > start;
  };
  std::vector<std::string_view> open;
  bool firstParkpositions = false;  // seen
  bool inFirstParkpositions = false;
  std::size_t elements = 0;
  std::size_t standBegin = 0;
  std::size_t steps = 0;
  while (i < text.size()) {
    // A close does not wait for the scan of a large file.
    if ((++steps & 0x3FFF) == 0 && g_stopRun.load()) return PlainScan::stopped;
    if (text[i] != '<') {
      const std::size_t next = std::min(text.find('<', i), text.size());
      if (open.empty()) {
        for (std::size_t k = i; k < next; ++k)
          if (!lf_isBlank(text[k])) return PlainScan::other;
      }
      i = next;
      continue;
    }
    if (text.substr(i, 4) == "<!--") {
      const std::size_t end = text.find("-->", i + 4);
      if (end == std::string_view::npos) return PlainScan::other;
      i = end + 3;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '/') {
      const std::string_view closing = name(i + 2);
      if (closing.empty() || open.empty() || closing != open.back()) return PlainScan::other;
      std::size_t at = i + 2 + closing.size();
      skipBlanks(at);
      if (at >= text.size() || text[at] != '>') return PlainScan::other;
      open.pop_back();
      if (inFirstParkpositions && open.size() == 1 && closing == "parkpos") layout.parkpos.emplace_back(standBegin, at + 1);
      if (inFirstParkpositions && open.empty()) {
        layout.contentEnd = i;
        inFirstParkpositions = false;
      }
      i = at + 1;
      continue;
    }
    const std::string_view element = name(i + 1);
    if (element.empty()) return PlainScan::other;  // also "<!", "<?" and a lone "<"
    std::size_t at = i + 1 + element.size();
    bool closed = false;
    while (true) {
      const bool blank = skipBlanks(at);
      if (at >= text.size()) return PlainScan::other;
      if (text[at] == '>') break;
      if (text[at] == '/') {
        if (at + 1 >= text.size() || text[at + 1] != '>') return PlainScan::other;
        closed = true;
        ++at;
        break;
      }
      const std::string_view attribute = name(at);
      if (!blank || attribute.empty()) return PlainScan::other;
      at += attribute.size();
      skipBlanks(at);
      if (at >= text.size() || text[at] != '=') return PlainScan::other;
      ++at;
      skipBlanks(at);
      if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return PlainScan::other;
      const std::size_t end = text.find(text[at], at + 1);
      if (end == std::string_view::npos || text.substr(at + 1, end - at - 1).find('<') != std::string_view::npos) {
        return PlainScan::other;
      }
      at = end + 1;
    }
    ++elements;
    if (open.empty() && element == "parkpositions" && !firstParkpositions) {
      firstParkpositions = true;
      if (!closed) {
        inFirstParkpositions = true;
        layout.contentBegin = at + 1;
      }
    } else if (inFirstParkpositions && open.size() == 1 && element == "parkpos") {
      if (closed) {
        layout.parkpos.emplace_back(i, at + 1);
      } else {
        standBegin = i;
      }
    }
    if (!closed) {
      // Park files nest three deep: a deeper text is left to the library,
      // whose tree is bounded, rather than held here element by element.
      if (open.size() >= kPlainMaxDepth) return PlainScan::other;
      open.push_back(element);
    }
    i = at + 1;
  }
  return open.empty() && elements > 0 ? PlainScan::plain : PlainScan::other;
}

}  // namespace

bool ApfDocument::load(const std::filesystem::path& path, std::string& error, bool stampBytes) {
  m_head.reset();
  m_whole.clear();
  m_blocks.clear();
  m_parkpos.clear();
  m_streamed = false;
  m_visited = false;
  m_stopped = false;
  m_bytesStamp.reset();
  const auto stopped = [&] {
    m_stopped = g_stopRun.load();
    if (m_stopped) {
      m_head.reset();
      m_blocks.clear();
      error = "abandoned for the close";
    }
    return m_stopped;
  };
  std::string text;
  const FileReadResult read = gf_readUserFile(path, gf_apfMaxFileBytes(), text);
  if (!read) {
    error = read.detail;
    return false;
  }
  if (stampBytes) m_bytesStamp = gf_bytesStamp(text);
  if (stopped()) return false;
  PlainLayout layout;
  const PlainScan form = lf_scanPlainApf(text, layout);
  if (form == PlainScan::stopped || stopped()) return false;
  if (form == PlainScan::plain) {
    std::string head = text.substr(0, layout.contentBegin);
    head.append(text, layout.contentEnd);
    pugi::xml_parse_result parsedHead;
    {
      // What lies outside the stand list is one tree as well, bounded alike.
      const std::size_t budgetBytes = gf_apfTreeBudget(head.size());
      const XmlMemoryBudget budget(budgetBytes, &g_stopRun);
      parsedHead = m_head.load_buffer(head.data(), head.size());
      if (!parsedHead && budget.exceeded()) {
        m_head.reset();
        error = fmt::format("what lies outside its stand list would take more than {} bytes of memory as one tree",
                            budgetBytes);
        return false;
      }
    }
    if (stopped()) return false;
    if (parsedHead) {
      for (std::size_t at = 0; at < text.size(); at += kBlockBytes) {
        if (stopped()) return false;
        const std::size_t size = std::min(kBlockBytes, text.size() - at);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        std::memcpy(m_blocks.back().get(), text.data() + at, size);
      }
      m_parkpos = std::move(layout.parkpos);
      m_streamed = true;
      error.clear();
      return true;
    }
  }
  // Any other file is read whole by the XML library, which also describes
  // what is wrong with it; in place, so that the text is not held twice.
  if (text.size() > kApfMaxTreeFileBytes) {
    error = fmt::format("it has {} bytes and is not of the plain form, which is read only up to {} bytes", text.size(),
                        kApfMaxTreeFileBytes);
    return false;
  }
  m_whole = std::move(text);
  pugi::xml_parse_result parsed;
  {
    // The tree is bounded by the file's size: a file of tiny elements would
    // otherwise take many times its size. A close ends the parse at once.
    const std::size_t budgetBytes = gf_apfTreeBudget(m_whole.size());
    const XmlMemoryBudget budget(budgetBytes, &g_stopRun);
    if (m_whole.find('\0') != std::string::npos || m_whole.starts_with("\xFE\xFF") ||
        m_whole.starts_with("\xFF\xFE")) {
      // A text of two or four bytes a character is converted into a new
      // buffer anyway.
      parsed = m_head.load_buffer(m_whole.data(), m_whole.size());
      std::string().swap(m_whole);
    } else {
      // With the string's own closing zero, as the library ends its own
      // copy: the same document and the same error offsets.
      parsed = m_head.load_buffer_inplace(m_whole.data(), m_whole.size() + 1);
    }
    if (!parsed && budget.exceeded()) {
      m_head.reset();
      std::string().swap(m_whole);
      error = fmt::format("it is not of the plain form, and as one tree it would take more than {} bytes of memory",
                          budgetBytes);
      return false;
    }
  }
  if (!parsed) {
    m_head.reset();
    std::string().swap(m_whole);
    if (stopped()) return false;
    error = fmt::format("{} at offset {}", parsed.description(), parsed.offset);
    return false;
  }
  error.clear();
  return !stopped();
}

std::size_t gf_apfTreeBudget(std::size_t fileBytes) {
  return std::max(fileBytes / 10 * kApfTreeTenthsPerFileByte, kApfMinTreeBytes);
}

const char* ApfDocument::text(std::size_t begin, std::size_t end, std::string& joined) const {
  const std::size_t first = begin / kBlockBytes;
  const std::size_t last = (end - 1) / kBlockBytes;
  if (first == last) return m_blocks[first].get() + begin % kBlockBytes;
  joined.clear();
  for (std::size_t block = first; block <= last; ++block) {
    const std::size_t from = block == first ? begin % kBlockBytes : 0;
    const std::size_t to = block == last ? (end - 1) % kBlockBytes + 1 : kBlockBytes;
    joined.append(m_blocks[block].get() + from, to - from);
  }
  return joined.data();
}

void ApfDocument::forEachParkpos(const std::function<bool(const pugi::xml_node&)>& visit) {
  if (m_visited) return;
  m_visited = true;
  if (!m_streamed) {
    for (const pugi::xml_node parkpos : m_head.child("parkpositions").children("parkpos"))
      if (g_stopRun.load() || !visit(parkpos)) return;
    return;
  }
  pugi::xml_document element;
  std::string joined;
  std::size_t freed = 0;  // the blocks before this one are freed
  for (const auto& [begin, end] : m_parkpos) {
    const pugi::xml_parse_result parsed = element.load_buffer(text(begin, end, joined), end - begin);
    if (!parsed) {
      throw std::runtime_error(fmt::format("stand element at offset {} not read: {}", begin, parsed.description()));
    }
    for (; freed < end / kBlockBytes; ++freed) m_blocks[freed].reset();
    if (g_stopRun.load() || !visit(element.first_child())) break;
  }
  m_blocks.clear();
}
