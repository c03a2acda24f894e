// Finding an airport's park file among the user's files, the add-on files
// and the archive on the download server, fetching server files, and the
// path of an airport's learned file.
//
// Files on the download server are fetched once per run: the first question
// about a server file starts its download as a task of its own, and the
// file is kept until the next run start (gf_forgetServerFiles); its absence
// is kept for a minute (of the steady clock), then the server is asked again.
// A thread that must never wait for the network (the run thread while its
// 10 ms main loop runs, see ServerFetchWithoutWaiting) gets "not there yet"
// while the download runs and asks again at its next step; every other thread
// waits for the download, which the download limits bound in time and which
// a stop, a close or the next run start aborts (gf_abortOnStop).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// ICAO + ".xml": the park file's name.
std::string gf_apfFileName(std::string_view icao);
// The park file's name as a path (no folder).
std::filesystem::path gf_apfXmlPath(std::string_view icao);
// ICAO + ".txt" as a path: the alias file that names another park file.
std::filesystem::path gf_apfTxtPath(std::string_view icao);

// The server folder of stock park files.
inline constexpr std::string_view kStockArchive = "archive/stock/";

// The path or server name of the park file of the airport, first hit wins:
// the alias file in "airports/my_thirdparty", ICAO.xml there, the alias file
// in "airports/my_simaddon", ICAO.xml there, "archive/stock/ICAO.xml" when the
// server holds it; else "". Throws std::filesystem::filesystem_error
// ("exists") when a folder cannot be examined for another reason than "not
// found".
std::string gf_findApfFile(const std::string& icao);

// Whether a park file of the airport is available: ICAO.xml or ICAO.txt in
// "airports/my_thirdparty" or "airports/my_simaddon" (existence only), else
// the stock file on the server.
bool gf_ensureStockApf(const std::string& icao);

// Whether the server holds the stock park file of the airport (see above).
bool lf_downloadStockApf(const std::string& icao);

// Whether the stock park file of the airport is being fetched right now: a
// caller that must not wait got "not there" only for the time being.
bool gf_apfFetchPending(const std::string& icao);
// The same for a file named on the download server (as lf_resolveApfPath takes it).
bool gf_serverFilePending(const std::string& serverName);

// Reads an alias file: true when it exists and its first line, without
// trailing white space, holds ".xml"; the text then becomes that line up to
// and including the first ".xml". A name that leaves the airports folder or
// the server's archive ("..", an absolute path, a drive letter) is refused
// with a log line (false).
bool lf_readApfAlias(const std::filesystem::path& aliasPath, std::string& text);

// The path of the airport's learned file, from the park file's path (as
// gf_findApfFile returned it) and the airport's publisher:
// - "archive/..." on the server: "airports/learned/..." (the same sub-folders;
//   "%20" becomes a blank);
// - "airports/my_thirdparty/ICAO.xml" (and "my_thirdparty2024"):
//   "airports/learned/thirdparty/PUBLISHER/ICAO.xml" ("thirdparty/ICAO.xml"
//   without a publisher);
// - "airports/my_simaddon/...": "airports/learned/simaddon/...";
// - any other path under "airports": the same below "airports/learned";
// - any other path is its own learned path; an empty path gives an empty one.
// Both the reading and the saving of learned files take their path from here.
// A publisher that is neither empty nor one plain path component gives an
// empty path (and a log line): the learned file is then neither read nor
// written.
std::filesystem::path lf_learnedPathFor(const std::string& apfPath, const std::string& publisher);

// The "publisher" parameter of a park file; "" when the file does not load or
// has none.
std::string gf_readApfPublisher(const std::filesystem::path& apfPath);

// Fetches the file of the download server named serverName (such as
// "archive/stock/EGLL.xml") into target: from the "MSFS/" folder when the
// name holds "simaddon" or "stock", else from the simulator's own folder.
// Returns "" on success, else "failed to download: '{}'" with the address
// (also logged). Never throws.
std::string lf_resolveApfPath(const std::string& serverName, const std::filesystem::path& target);

// Whether a file or folder exists: "not found" is false; any other failure
// to look throws std::filesystem::filesystem_error ("exists").
bool gf_apfEntryExists(const std::filesystem::path& path);

// Whether a park-file path names a local file (it begins with "airports"),
// not a file on the download server.
bool gf_isLocalApfPath(std::string_view path);

// Forgets every server file fetched or missed in this run (run start, tests).
// Downloads still running are told to abort and are not waited for.
void gf_forgetServerFiles();

// While an object of this class lives, the server-file questions of the
// constructing thread never wait for a download: the run thread holds one
// around its 10 ms main loop.
class ServerFetchWithoutWaiting {
 public:
  ServerFetchWithoutWaiting();
  ~ServerFetchWithoutWaiting();
  ServerFetchWithoutWaiting(const ServerFetchWithoutWaiting&) = delete;
  ServerFetchWithoutWaiting& operator=(const ServerFetchWithoutWaiting&) = delete;

 private:
  bool m_previous;
};
