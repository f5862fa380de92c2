#pragma once
// Create (or removal) as administrator where Windows guards the program's
// folder: whether to offer it, and the relay between the window and the
// elevated instance it starts. The window hands over the request on the
// instance's command line; the instance does exactly that, and sends the
// outcome back as data with WM_COPYDATA (a higher integrity level may send to
// a lower one, and the two accounts need to share no TEMP folder, registry or
// drive). The window believes only the instance it started.

#include "platform/held_folder.h"
#include "stylescript/request.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sheen {

// What the window asks of the elevated instance, and how to answer it.
struct RelayRequest {
    Plan plan = kCreatePlan;
    HWND replyTo = nullptr; // the asking window
    ULONGLONG nonce = 0;    // made up for this one request; the reply must carry it
    FolderIdentity folder;  // the program's folder, as the window found it
};

// Whether the window may offer to carry out `plan` as administrator after
// `error` for the program `inspection` found: Windows denied the write, not
// Sheenwright itself (a read-only manifest or backup stays refused for anyone,
// see RefusedToAnyone), on a system with User Account Control, to a process
// that is not elevated.
bool MayRunAsAdministrator(const Plan& plan, const Inspection& inspection, DWORD error);

// `targetPath` as the window just tried it, for another account's process:
// full, with no trailing dot or blank of its name lost (the script's name is
// what counts), and with drive letters of the user's session resolved.
std::wstring PathForAdministrator(const std::wstring& targetPath);

// For the administrator's run of the file at `targetPath`: `handedOver`
// receives its path as PathForAdministrator gives it, its folder then taken
// with every link in it resolved, and `folder` that folder's identity.
// Returns ERROR_SUCCESS or the error.
DWORD PinProgramFolder(const std::wstring& targetPath, std::wstring& handedOver,
                       FolderIdentity& folder);

// A request of `plan` from the window `replyTo`, with a number of its own.
RelayRequest NewRelayRequest(const Plan& plan, HWND replyTo);

// The instance's command-line parameters: the plan's switches (/create,
// /create /embed, /embed or /remove), then
// /reply-to:<window>:<nonce>:<volume>:<folder index's high and low
// halves>, then `path` quoted.
std::wstring RelayArguments(const RelayRequest& request, const std::wstring& path);
// Reads the /reply-to: argument that follows the plan's switches; nothing for
// any other argument.
std::optional<RelayRequest> ParseReplyTo(const Plan& plan, std::wstring_view argument);

// In the elevated instance: carries out `request.plan` for exactly `path`, neither
// following a shortcut nor changing a name, as the window would have, and
// sends the outcome to the asking window. Only in the folder the window
// found: one that `path` no longer leads to fails with kFolderChangedError,
// and the folder is held meanwhile, so that no one can rename it or a folder
// above it. Returns the exit code (ExitCodeOf), Sheenwright's own reasons as
// they are, for the window to tell.
int RunRelayedRequest(const RelayRequest& request, const std::wstring& path);

// An outcome as the elevated instance sends it, for the request with `nonce`.
class RelayReply {
  public:
    RelayReply(ULONGLONG nonce, const Plan& plan, const RequestOutcome& outcome);
    // Valid while this object lives.
    COPYDATASTRUCT data();

  private:
    std::vector<BYTE> bytes_;
};

// In the window, while it waits for the instance it started.
class RelayWait {
  public:
    // Waits for the reply to `request`, from before the instance starts: the
    // shell may pass on its reply while it is still starting it.
    void Begin(const RelayRequest& request);
    // The instance is process `processId`: a reply kept from any other goes.
    void Started(DWORD processId);
    // A WM_COPYDATA sent with `sender` as its wParam: true when it is the
    // awaited reply, which is then kept. The first reply from a window of that
    // process (of any, before Started), with the request's number and whole,
    // counts; anything else, and anything outside a wait, is not taken.
    bool Receive(HWND sender, const COPYDATASTRUCT& data);
    // Ends the wait for an instance that exited with `exitCode`: the reply if
    // one came and agrees with that code, else what the code alone tells,
    // and no more (a removal cannot tell what it took away).
    RequestOutcome End(DWORD exitCode);

  private:
    bool waiting_ = false;
    DWORD processId_ = 0;   // 0 until Started
    DWORD replySender_ = 0; // the process the kept reply came from
    RelayRequest request_;
    std::optional<RequestOutcome> reply_;
};

} // namespace sheen
