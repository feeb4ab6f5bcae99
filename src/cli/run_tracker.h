// Decides when a run started by kvx-flash has ended, and with which exit status.
//
// The engine's messages do not say "the run is over" in one place. A run ends with
// WM_USER_BTN_CTRL BTN_ENABLE (from Disconnect, or posted by a failed image load), with a port
// problem at the start (WM_USER_PORT_ERROR, then nothing more), or with the terminal search
// result (WM_USER_DEVICE_COUNT). But BTN_ENABLE also comes just BEFORE WM_USER_END on success,
// and a refused rule posts BTN_ENABLE with its message while --downgrade or --force-boot lets the
// run go on. So each of these only raises the suspicion of an end; the front end then posts
// WM_USER_SYNC, and the engine's answer, which follows everything the engine had queued, settles
// it: WM_USER_END seen means completed; otherwise the answer's wParam tells whether a run is
// still in progress.
//
// Ctrl-C during a run posts WM_USER_ABORT_RUN (Disconnect(0) closes the port) and a sync; the
// run counts as interrupted once the sync has come back.
//
// Plain state machine, no I/O: the front-end window feeds it events on its own thread and does
// what the returned step says.
#pragma once

#include <optional>

namespace kvx {

class RunTracker {
 public:
  struct Step {
    bool post_abort = false;    // post WM_USER_ABORT_RUN to the engine
    bool post_sync = false;     // post WM_USER_SYNC to the engine
    std::optional<int> finish;  // the run is over: shut the engine down, exit with this
  };

  // WM_USER_UPGRADE_START has been posted.
  void Started();
  // WM_USER_PROG_SETUP with UPGRADE_PART: the image loaded and the terminal is being reached.
  void RangeAnnounced() { range_announced_ = true; }
  // WM_USER_BTN_CTRL with BTN_ENABLE.
  Step ButtonsEnabled();
  // WM_USER_PORT_ERROR with a code of 0 or below.
  Step PortProblem();
  // WM_USER_DEVICE_COUNT.
  Step DeviceCountReported();
  // WM_USER_END: the engine reported completion.
  Step Completed();
  // The engine's answer to a sync; `run_in_progress` is its wParam.
  Step SyncAnswered(bool run_in_progress);
  // The first SIGINT, SIGTERM or SIGHUP.
  Step Interrupted(int signo);

  bool started() const { return started_; }
  bool finished() const { return finished_; }

 private:
  Step Suspect();
  Step Finish(int code);
  int EndCode() const;

  bool started_ = false;
  bool range_announced_ = false;
  bool port_problem_ = false;
  bool end_suspected_ = false;
  bool finished_ = false;
  int interrupted_by_ = 0;
  int syncs_pending_ = 0;
};

}  // namespace kvx
