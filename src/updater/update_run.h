// The update run: compare the local files with the site's identity record, then either
// start the game at once or download and write the new client and updater with the
// window showing progress, and start the game.
#pragma once

#include "download.h"
#include "identity.h"
#include "minisign.h"

// The whole run of the main thread (what main does).
void run_update();

// Starts client.exe and marks the run as over.
void start_client();

// The local record: identity of korvane.exe and client.exe in the working directory.
UpdaterClientVersions local_identity();

// Downloads one file of the site into file_name (never leaving a partial file) and gives
// it the server's time when a valid record arrived. With release_key the file must carry
// its signature; with patch_from (the entry of the file already here) a patch from it is
// asked for first.
Download_Outcome fetch_and_store(String site_name, String file_name, const UpdaterClientVersions::File &server_file,
                                 bool have_server_record, const Release_Key *release_key = nullptr,
                                 const UpdaterClientVersions::File *patch_from = nullptr);

// Starts the progress window's thread (true when it runs); a slot of its own so the run can
// be tested without a window.
extern bool (*start_progress_window)();

// The release key the run checks the site against (the compiled-in one); a slot of its own
// so the run's checks can be tested with a key made for the test.
extern Compiled_Release_Key (*update_release_key)();

// Puts korvane_updated.exe in the place of korvane.exe (the file of the running program).
// False when that failed: the error line is written and korvane_updated.exe stays for the
// next start.
bool put_new_updater_in_place();

// What an earlier run left behind: the replaced updater's file (deleted when nothing runs
// from it any more), and a new updater that could not be put in place then.
void finish_earlier_self_update();
