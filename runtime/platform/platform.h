// The seam between the installer's logic and Windows.
//
// The logic reaches the operating system only through these interfaces. Each call returns what
// the logic needs, in plain C++ types: a value, or the error code the call failed with (a Win32
// error code, a registry status or an HRESULT), which the logic renders into its failure text.
// The arguments that the logic must control (flags, value types, access masks) are passed
// through as the logic's values so that tests can see them.
//
// Two implementations: platform/win32 (the real calls) and platform/fake (an in-memory Windows
// for the unit tests, with fault injection).
//
// The services gathered in `Platform` are held by reference and never deleted through the seam:
// their destructors are protected and not virtual (SystemText's aside), which spares every implementation the two
// destructors a virtual one puts in its table. What the seam hands out by pointer (an open key,
// a file, a download) keeps a virtual destructor.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"

namespace plinth {
// The run's log (setup/log/): the logic writes its events there. Every platform starts with the
// one that drops them, so that a run without /log writes nothing and no step need ask.
class Log;
Log& no_log();
}  // namespace plinth

namespace plinth::platform {

// A Win32 error code or registry status; 0 (ERROR_SUCCESS) means success.
using ErrorCode = std::uint32_t;
// A COM result; negative means failure.
using HResult = std::int32_t;

template <class T>
using SysResult = Expected<T, ErrorCode>;

// Error codes and constants the logic needs by value.
namespace codes {
inline constexpr ErrorCode kSuccess = 0;
inline constexpr ErrorCode kFileNotFound = 2;
inline constexpr ErrorCode kPathNotFound = 3;
inline constexpr ErrorCode kAccessDenied = 5;
inline constexpr ErrorCode kSharingViolation = 32;
inline constexpr ErrorCode kFileExists = 80;
inline constexpr ErrorCode kInvalidParameter = 87;
inline constexpr ErrorCode kDiskFull = 112;
inline constexpr ErrorCode kInvalidName = 123;
inline constexpr ErrorCode kDirNotEmpty = 145;
inline constexpr ErrorCode kBadPathName = 161;
inline constexpr ErrorCode kAlreadyExists = 183;
inline constexpr ErrorCode kFileNameTooLong = 206;
inline constexpr ErrorCode kMoreData = 234;
inline constexpr ErrorCode kInvalidDirectoryName = 267;
inline constexpr HResult kEPointer = static_cast<HResult>(0x80004003);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005);
}  // namespace codes

// A failed COM call: its HRESULT and the description of the thread's error information, when
// the call left some (empty otherwise).
struct ComError {
    HResult code = 0;
    std::u16string description;
};

// ---------------------------------------------------------------------------------------------
// Registry: always HKEY_CURRENT_USER, but for the one question whether a class key exists,
// asked of HKEY_CLASSES_ROOT too, where the machine's classes show beside the user's.

// An open key (from RegCreateKeyExW). Destroying it closes it (RegCloseKey).
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // RegSetValueExW(key, name, 0, type, data, size).
    virtual ErrorCode set_value(const std::u16string& name, std::uint32_t type,
                                std::span<const std::uint8_t> data) = 0;
};

// Which root `Registry::key_counts` opens its path under.
enum class RegistryRoot { current_user, classes_root };

// How many subkeys and values a key holds (the default value counts once it is set).
struct KeyCounts {
    std::uint32_t subkeys = 0;
    std::uint32_t values = 0;
};

class Registry {
protected:
    ~Registry() = default;

public:
    // RegCreateKeyExW(HKCU, path, 0, NULL, options, access, NULL, &key, NULL).
    virtual Expected<std::unique_ptr<RegistryKey>, ErrorCode> create_key(const std::u16string& path,
                                                                         std::uint32_t options,
                                                                         std::uint32_t access) = 0;
    // RegGetValueW(HKCU, path, name, flags, NULL, data, byte_count). `data` may be null to learn
    // the size; `byte_count` is in and out as for the real call.
    virtual ErrorCode get_value(const std::u16string& path, const std::u16string& name,
                                std::uint32_t flags, void* data, std::uint32_t* byte_count) = 0;
    // RegDeleteTreeW(HKCU, path).
    virtual ErrorCode delete_tree(const std::u16string& path) = 0;
    // RegDeleteKeyW(HKCU, path).
    virtual ErrorCode delete_key(const std::u16string& path) = 0;
    // RegDeleteKeyValueW(HKCU, path, name).
    virtual ErrorCode delete_key_value(const std::u16string& path, const std::u16string& name) = 0;
    // RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE) and RegQueryInfoKeyW's subkey and value
    // counts; ERROR_FILE_NOT_FOUND for a missing key.
    virtual SysResult<KeyCounts> key_counts(RegistryRoot root, const std::u16string& path) = 0;
};

// ---------------------------------------------------------------------------------------------
// Files.

// Which side of a file copy failed, and how.
struct CopyFailure {
    bool reading = false;  // opening or reading the source; otherwise creating or writing the copy
    ErrorCode code = 0;
};

// A file opened for reading, read a chunk at a time; closed when destroyed.
class OpenFile {
public:
    virtual ~OpenFile() = default;
    // Fills `into` from the current position as far as the file goes: the count read, 0 at the end.
    virtual SysResult<std::size_t> read(std::span<std::uint8_t> into) = 0;
};

// A file being written a chunk at a time; closed when destroyed.
class NewFile {
public:
    virtual ~NewFile() = default;
    virtual ErrorCode write(std::span<const std::uint8_t> bytes) = 0;
};

// A file held open for reading that shares only reading: while it is held, no one can write,
// rename or delete it, and what is read through it is what a program started from it runs.
// Closed when destroyed.
class HeldFile {
public:
    virtual ~HeldFile() = default;
    virtual SysResult<std::uint64_t> size() = 0;
    // Fills `into` from `offset` on, as far as the file goes: the count read, short only at
    // the file's end.
    virtual SysResult<std::size_t> read_at(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
    // The handle, for the checks made through it (WinVerifyTrust); 0 where there is none.
    virtual std::uintptr_t handle() const = 0;
};

struct FileInfo {
    bool is_folder = false;
    std::uint64_t size = 0;
    bool read_only = false;
    // The path itself is a reparse point (a symbolic link, a junction, a mount point); the rest
    // describes what it leads to.
    bool is_link = false;
};

class Files {
protected:
    ~Files() = default;

public:
    // Creates the folder and every missing parent; an existing folder is success.
    virtual ErrorCode create_folder_tree(const Path& path) = 0;
    // The names of a folder's entries (no "." or ".."); entries that can't be read are left out.
    // With `mark_folders`, a folder's name (a link to one too) ends with a backslash.
    virtual SysResult<std::vector<Path>> list_folder(const Path& path, bool mark_folders = false) = 0;
    // Metadata of a file or folder, links followed; `is_link` tells that the path is one.
    virtual SysResult<FileInfo> metadata(const Path& path) = 0;
    // DeleteFileW(path).
    virtual ErrorCode delete_file(const Path& path) = 0;
    // Opens the path with DELETE access only (sharing read, write and delete, with
    // FILE_FLAG_OPEN_REPARSE_POINT) and sets FileDispositionInfoEx with `disposition_flags`.
    // Where that class is refused, it sets FileDispositionInfo instead, first clearing the
    // read-only attribute when the flags say to ignore it (and only for a read-only file asking
    // for FILE_WRITE_ATTRIBUTES), restoring the attribute when the deletion is refused.
    virtual ErrorCode delete_file_by_handle(const Path& path, std::uint32_t disposition_flags) = 0;
    // RemoveDirectoryW(path): only an empty folder goes.
    virtual ErrorCode remove_folder(const Path& path) = 0;
    // MoveFileW(from, to): a rename; `to` does not exist.
    virtual ErrorCode rename(const Path& from, const Path& to) = 0;
    // MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING): a rename that takes the place of a file
    // at `to` in one step. Refused when `to` is a folder, read-only, a running program or open.
    virtual ErrorCode replace(const Path& from, const Path& to) = 0;
    // The final canonical path, links followed.
    virtual SysResult<Path> canonical_path(const Path& path) = 0;
    // Creates the file, or truncates it when it exists, and writes every byte.
    virtual ErrorCode write_file(const Path& path, std::span<const std::uint8_t> bytes) = 0;
    // Opens the file for reading from its start (sharing read and delete access, so that the
    // file may be renamed while it is open).
    virtual SysResult<std::unique_ptr<OpenFile>> open_for_reading(const Path& path) = 0;
    // Creates the file, or truncates it when it exists, and writes the rest of `source` into it a
    // chunk at a time: never the whole file in memory.
    virtual Expected<void, CopyFailure> write_file_from(const Path& path, OpenFile& source) = 0;
    // CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW): a file that didn't exist,
    // which no one else can write while it is open. ERROR_FILE_EXISTS (80) when the name is taken.
    virtual SysResult<std::unique_ptr<NewFile>> create_new(const Path& path) = 0;
    // CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS): every
    // write goes to the file's end, whoever else appends to it; the file is created when missing.
    virtual SysResult<std::unique_ptr<NewFile>> open_for_append(const Path& path) = 0;
    // CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING): the file held as it is.
    // A sharing violation (32) when someone else has it open for writing or deleting.
    virtual SysResult<std::unique_ptr<HeldFile>> hold(const Path& path) = 0;
    // GetDriveTypeW(root), for a root such as "C:\\": DRIVE_FIXED (3), DRIVE_REMOTE (4) and the rest.
    virtual std::uint32_t drive_type(const Path& root) = 0;
};

// ---------------------------------------------------------------------------------------------
// Shell: known folders, shortcuts, change notification, environment.

enum class KnownFolder {
    user_program_files,  // FOLDERID_UserProgramFiles
    programs,            // FOLDERID_Programs (the Start menu's Programs folder)
    desktop,             // FOLDERID_Desktop
};

// What a shortcut file records.
struct ShortcutSpec {
    Path shortcut_path;                     // IPersistFile::Save(path, TRUE)
    Path target_path;                       // IShellLinkW::SetPath
    std::optional<Path> working_directory;  // IShellLinkW::SetWorkingDirectory, when set
    std::u16string description;             // IShellLinkW::SetDescription
    std::u16string app_user_model_id;       // IPropertyStore System.AppUserModel.ID, unless empty
};

class Shell {
protected:
    ~Shell() = default;

public:
    // SHGetKnownFolderPath(folder, flags, NULL, &path), the buffer freed with CoTaskMemFree. An
    // invalid UTF-16 path is still success: the logic decides what to make of it.
    virtual Expected<Path, ComError> known_folder(KnownFolder folder, std::uint32_t flags) = 0;
    // CoCreateInstance(CLSID_ShellLink), the IShellLinkW setters, the property store's SetValue
    // and Commit (only for an id), IPersistFile::Save.
    virtual Expected<void, ComError> create_shortcut(const ShortcutSpec& wanted) = 0;
    // SHChangeNotify(event_id, flags, NULL, NULL).
    virtual void change_notify(std::int32_t event_id, std::uint32_t flags) = 0;
    // The value of an environment variable, or nothing when it is not set.
    virtual std::optional<std::u16string> environment_variable(const std::u16string& name) = 0;
};

// ---------------------------------------------------------------------------------------------
// Processes.

struct ProcessStart {
    std::optional<Path> application;  // lpApplicationName, or NULL for the usual program search
    std::u16string command_line;      // lpCommandLine
    std::uint32_t creation_flags = 0;
    bool inherit_handles = false;
    std::optional<Path> current_directory;  // lpCurrentDirectory, or NULL to inherit it
    bool hidden = false;  // STARTUPINFOW's STARTF_USESHOWWINDOW with SW_HIDE: no window shown
};

// What Processes::close_programs_in did.
struct ClosedPrograms {
    std::uint32_t asked = 0;
    std::uint32_t still_running = 0;
};

class Processes {
protected:
    ~Processes() = default;

public:
    // CreateProcessW with the environment inherited; the process and thread handles are closed
    // at once, nothing waits for the child.
    virtual ErrorCode start(const ProcessStart& start) = 0;
    // GetSystemDirectoryW: where the system's own programs live.
    virtual SysResult<Path> system_folder() = 0;
    // CreateProcessW as `start`, then a wait for the child, of at most `timeout_ms` when given:
    // its exit code, or WAIT_TIMEOUT (258) once the child has been ended (TerminateProcess) and
    // has exited, so that nothing it does outlasts the call.
    virtual SysResult<std::uint32_t> run_and_wait(const ProcessStart& start, std::optional<std::uint32_t> timeout_ms) = 0;
    // Waits at most `timeout_ms` for the process that started this one to end (true), or gives
    // up (false); a parent already gone counts as ended.
    virtual bool wait_for_parent(std::uint32_t timeout_ms) = 0;
    // Every process but this one that has a visible top-level window without an owner and whose
    // exe lies in `folder` (QueryFullProcessImageNameW starts with it and a backslash, compared
    // without case) gets WM_CLOSE posted to those windows; then a wait of at most `timeout_ms` for
    // them to end. Nothing is ever ended. How many were asked, and how many still run.
    virtual ClosedPrograms close_programs_in(const Path& folder, std::uint32_t timeout_ms) = 0;
};

// ---------------------------------------------------------------------------------------------
// Dialogs: the task dialog, field for field.

using WindowHandle = std::uintptr_t;

// PFTASKDIALOGCALLBACK with plain types.
using DialogCallback = HResult (*)(WindowHandle window, std::uint32_t notification,
                                   std::uintptr_t wparam, std::intptr_t lparam, void* data);

// TASKDIALOG_BUTTON.
struct DialogButton {
    std::int32_t id = 0;
    const char16_t* text = nullptr;
};

// TASKDIALOGCONFIG, member for member, in its order. Text pointers are NUL-terminated UTF-16
// owned by whoever built the configuration; `main_icon` and `footer_icon` hold either an icon
// handle or a MAKEINTRESOURCEW value, as the flags say.
struct DialogConfig {
    std::uint32_t size = 0;
    WindowHandle parent = 0;
    std::uintptr_t instance = 0;
    std::uint32_t flags = 0;
    std::uint32_t common_buttons = 0;
    const char16_t* window_title = nullptr;
    std::uintptr_t main_icon = 0;
    const char16_t* main_instruction = nullptr;
    const char16_t* content = nullptr;
    std::uint32_t button_count = 0;
    const DialogButton* buttons = nullptr;
    std::int32_t default_button = 0;
    std::uint32_t radio_button_count = 0;
    const DialogButton* radio_buttons = nullptr;
    std::int32_t default_radio_button = 0;
    const char16_t* verification_text = nullptr;
    const char16_t* expanded_information = nullptr;
    const char16_t* expanded_control_text = nullptr;
    const char16_t* collapsed_control_text = nullptr;
    std::uintptr_t footer_icon = 0;
    const char16_t* footer = nullptr;
    DialogCallback callback = nullptr;
    void* callback_data = nullptr;
    std::uint32_t width = 0;
};

// The texts of Dialogs::accept_text; line breaks are line feeds.
struct AcceptWindow {
    std::u16string title;
    std::u16string heading;
    std::u16string text;
    std::u16string accept;
    std::u16string cancel;
    bool right_to_left = false;
};

class Dialogs {
protected:
    ~Dialogs() = default;

public:
    // TaskDialogIndirect(config, pressed_button, NULL, NULL); returns its HRESULT. The callback
    // runs inside this call.
    virtual HResult show(const DialogConfig& config, std::int32_t* pressed_button) = 0;
    // SendMessageW(window, TDM_NAVIGATE_PAGE, 0, &config).
    virtual void navigate(WindowHandle window, const DialogConfig& config) = 0;
    // SendMessageW(window, message, wparam, lparam), for the TDM_ messages that take no pointer
    // (the progress bar's position and marquee, a button's state).
    virtual void send(WindowHandle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
    // A modal window of its own (DialogBoxIndirectParamW) for a long text to accept: the heading,
    // the text in a read-only multi-line edit that scrolls, and the two buttons. True only when
    // `accept` was pressed; Cancel, Esc, closing it or a window that can't be shown give false.
    virtual bool accept_text(const AcceptWindow& window) = 0;
    // IFileOpenDialog with FOS_PICKFOLDERS, owned by `owner`, opening at `start` or the nearest
    // folder above it that exists: the folder chosen, or nothing when the user cancelled or the
    // picker couldn't be shown.
    virtual std::optional<Path> pick_folder(WindowHandle owner, const Path& start) = 0;
};

// ---------------------------------------------------------------------------------------------
// The running module: its handle, its resources, its own file, its icon.

using ModuleHandle = std::uintptr_t;

struct PackageResource {
    enum class State { found, missing, unloadable };
    State state = State::missing;
    std::span<const std::uint8_t> bytes;  // when found: valid until the process ends
    ErrorCode error = 0;                  // when unloadable: the last error
};

class Module {
protected:
    ~Module() = default;

public:
    // GetModuleHandleW(NULL).
    virtual SysResult<ModuleHandle> own_handle() = 0;
    // FindResourceW(module, 1, RT_RCDATA), SizeofResource, LoadResource, LockResource.
    virtual PackageResource package_resource(ModuleHandle module) = 0;
    // The same for RCDATA 2, the app folder's other files.
    virtual PackageResource files_resource(ModuleHandle module) = 0;
    // The same for RCDATA 3, the translated texts.
    virtual PackageResource languages_resource(ModuleHandle module) = 0;
    // The same for RCDATA 5, the app's licence text.
    virtual PackageResource license_resource(ModuleHandle module) = 0;
    // GetModuleFileNameW(NULL), however long the path.
    virtual SysResult<Path> own_path() = 0;
    // GetDpiForSystem().
    virtual std::uint32_t system_dpi() = 0;
    // LoadIconWithScaleDown(module, MAKEINTRESOURCEW(1), side, side): an icon handle, or nothing.
    virtual std::optional<std::uintptr_t> load_app_icon(ModuleHandle module, int side) = 0;
    // DestroyIcon(icon), for an icon that load_app_icon gave.
    virtual void destroy_icon(std::uintptr_t icon) = 0;
};

// ---------------------------------------------------------------------------------------------
// System texts: FormatMessageW.

class SystemText {
public:
    virtual ~SystemText() = default;
    // FormatMessageW(flags, source, code, language, buffer of 2048 units, NULL); the source is
    // the module "NTDLL.DLL" when `from_ntdll` is set. Returns the units written, or the error of
    // FormatMessageW itself (ERROR_RESOURCE_LANG_NOT_FOUND, 1815, for a language it hasn't).
    virtual SysResult<std::u16string> format_message(std::uint32_t flags, bool from_ntdll,
                                                     std::uint32_t code, std::uint32_t language = 0) = 0;
};

// ---------------------------------------------------------------------------------------------
// The process itself: command line, COM, standard error, clock, a second thread.

// Work on a thread of its own. Destroying it waits for the work to end.
class Worker {
public:
    virtual ~Worker() = default;
    // Whether the work has ended, without waiting.
    virtual bool finished() = 0;
};

// What a second thread makes ahead of the loop that uses it: `count()` buffers, in order, whose
// sizes are known before they are made.
class BufferMaker {
public:
    virtual ~BufferMaker() = default;
    virtual std::size_t count() const = 0;
    virtual std::size_t size_of(std::size_t index) const = 0;
    // Fills `out`, of size_of(index) bytes, with buffer `index`. False ends the run; the maker
    // keeps the reason.
    virtual bool make(std::size_t index, std::span<std::uint8_t> out) = 0;
};

// The buffers of a BufferMaker, taken in order. Destroying it stops the thread and waits for it.
class WorkAhead {
public:
    virtual ~WorkAhead() = default;
    // The next buffer, valid until the next call; nothing when it couldn't be made (the maker
    // failed, or there was no memory for it), which ends the run.
    virtual std::optional<std::span<const std::uint8_t>> next() = 0;
};

struct LocalDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct LocalTime : LocalDate {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class Session {
protected:
    ~Session() = default;

public:
    // CommandLineToArgvW(GetCommandLineW()), the program's own path first.
    virtual std::vector<std::u16string> arguments() = 0;
    // CoInitializeEx(NULL, coinit) for the calling thread, made before the first call that may
    // use COM (which may be later than this); the result is not looked at.
    virtual void initialize_com(std::uint32_t coinit) = 0;
    // Writes the bytes to the standard error stream, if the process has one.
    virtual void write_standard_error(std::string_view bytes) = 0;
    // The same for the standard output stream.
    virtual void write_standard_output(std::string_view bytes) = 0;
    // Today's date in the local time zone.
    virtual LocalDate local_date() = 0;
    // Now, in the local time zone (GetLocalTime).
    virtual LocalTime local_time() = 0;
    // Runs `maker` on a thread of its own, ahead of the caller by at most `budget` bytes and a
    // few buffers; a buffer larger than the budget is made only when no other is held. Nothing
    // when no thread can be started. `maker` outlives the result.
    virtual std::unique_ptr<WorkAhead> work_ahead(BufferMaker& maker, std::size_t budget) = 0;
    // CreateThread running work(data); nothing when no thread can be started. `data` outlives
    // the result.
    virtual std::unique_ptr<Worker> start_worker(void (*work)(void*), void* data) = 0;
    // The user's display languages as tags separated by commas, most preferred first ("de-DE,en-US"):
    // GetUserPreferredUILanguages(MUI_LANGUAGE_NAME), or GetUserDefaultUILanguage's name.
    virtual std::string preferred_ui_languages() = 0;
};

// ---------------------------------------------------------------------------------------------
// Updates: downloads, hashes, signatures and a lock between processes, each loaded on first use.

// Why a download failed. `code` is the WinHTTP or Win32 error for `system`, the HTTP status for
// `status` and `redirect`; a redirect's `location` is its Location header as sent.
struct DownloadFailure {
    enum class Kind { system, status, redirect, too_large };
    Kind kind = Kind::system;
    std::uint32_t code = 0;
    std::string location;
};

// One HTTP GET in progress; the connection closes when it is destroyed.
class Download {
public:
    virtual ~Download() = default;
    // The Content-Length the server announced, when it did.
    virtual std::optional<std::uint64_t> announced_size() = 0;
    // Bounds each wait of the reads that follow (WINHTTP_OPTION_RECEIVE_TIMEOUT), in place of
    // the request's timeout.
    virtual void limit_wait(std::uint32_t timeout_ms) = 0;
    // Fills `into` with the next bytes of the body: the count, 0 at its end. Each wait is bounded
    // by the request's timeout, or the one `limit_wait` set.
    virtual Expected<std::size_t, DownloadFailure> read(std::span<std::uint8_t> into) = 0;
};

// The answer to a GET of one range of a file's bytes: the range (206), or the whole file (200).
struct RangeResponse {
    std::uint32_t status = 0;
    std::string content_range;  // the Content-Range header as sent, empty when there is none
    std::unique_ptr<Download> body;
};

class Network {
protected:
    ~Network() = default;

public:
    // WinHttpOpen (the system's proxy settings), WinHttpConnect, WinHttpOpenRequest("GET"),
    // WinHttpSendRequest, WinHttpReceiveResponse: the response of a status 200, its body unread.
    // TLS is validated by the system. A redirect is never followed here: it fails as `redirect`
    // with its status and Location, so that the logic checks each hop. Resolving, connecting,
    // sending, waiting for the response and each receive wait at most `timeout_ms`.
    virtual Expected<std::unique_ptr<Download>, DownloadFailure> get(const std::string& url,
                                                                     std::uint32_t timeout_ms) = 0;
    // The same GET with the header "Range: bytes=first-last" (one range, never several): the
    // response of a status 206 or 200, which the logic judges; any other status is a failure.
    virtual Expected<RangeResponse, DownloadFailure> get_range(const std::string& url, std::uint64_t first,
                                                               std::uint64_t last, std::uint32_t timeout_ms) = 0;
    // Milliseconds since an arbitrary start that never goes back (GetTickCount64): the clock of
    // the downloads' deadlines.
    virtual std::uint64_t milliseconds() = 0;
};

using Sha256 = std::array<std::uint8_t, 32>;

// A SHA-256 in progress (BCrypt).
class Hash {
public:
    virtual ~Hash() = default;
    virtual void add(std::span<const std::uint8_t> bytes) = 0;
    virtual Sha256 finish() = 0;
};

// What WinVerifyTrust says of a file's Authenticode signature.
struct Signature {
    enum class State { valid, none, invalid };
    State state = State::none;
    std::string subject;  // the signer certificate's subject name, when valid
    HResult code = 0;     // WinVerifyTrust's result, when invalid
};

class Crypto {
protected:
    ~Crypto() = default;

public:
    // BCryptOpenAlgorithmProvider(SHA256) and BCryptCreateHash; the error as an NTSTATUS.
    virtual Expected<std::unique_ptr<Hash>, std::uint32_t> sha256() = 0;
    // RtlGenRandom (SystemFunction036): the system's generator.
    virtual ErrorCode random(std::span<std::uint8_t> into) = 0;
    // WinVerifyTrust(WINTRUST_ACTION_GENERIC_VERIFY_V2) of the file, revocation checks as the
    // system's policy says, no user interface; read through `held` when given (hFile), so that
    // what is checked is what is held.
    virtual Signature signature(const Path& file, HeldFile* held) = 0;
};

// A named mutex in the session's namespace, held until destroyed.
class HeldLock {
public:
    virtual ~HeldLock() = default;
};

class Locks {
protected:
    ~Locks() = default;

public:
    // CreateMutexW(NULL, FALSE, "Local\<name>") and a wait of at most `timeout_ms` for it; an
    // abandoned mutex counts as acquired. WAIT_TIMEOUT (258) when another process holds it.
    virtual Expected<std::unique_ptr<HeldLock>, ErrorCode> acquire(const std::u16string& name,
                                                                   std::uint32_t timeout_ms) = 0;
};

// Everything the logic may call, handed to it by reference.
struct Platform {
    Registry& registry;
    Files& files;
    Shell& shell;
    Processes& processes;
    Dialogs& dialogs;
    Module& module;
    SystemText& system_text;
    Session& session;
    Network& network;
    Crypto& crypto;
    Locks& locks;
    Log* log = &no_log();  // never null
};

}  // namespace plinth::platform
