// The fake operating system and libcurl of the update driver's tests.
#include "fake_updater_os.h"

#include "embedded_files.h"
#include "http.h"
#include "update_run.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

Fake_World fake;

namespace {

struct Fake_Handle {
    std::string url;
    curl_write_callback write = nullptr;
    void *user = nullptr;
    std::string range;
    curl_off_t max_size = -1;
    long status = 0;
    curl_off_t length = -1;
    std::string content_range;
    curl_header header = {};
};
Fake_Handle the_handle;
int procedure_stand_in;  // the address of every procedure the run never calls

void show_message_box(String, String text) { fake.boxes.emplace_back(text.view()); }

Process_Start start_process(String path) {
    fake.started.emplace_back(path.view());
    fake.calls.push_back("start " + std::string(path.view()));
    Process_Start result;
    result.success = !fake.start_fails;
    result.error_code = fake.start_fails ? 2 : 0;
    return result;
}

File_Time_Set set_file_write_time(String name, u64 ticks) {
    fake.times_set.emplace_back(std::string(name.view()), ticks);
    return {true, true, 0};
}

bool path_exists(String name) {
    for (const std::string &absent : fake.absent_paths) {
        if (absent == name.view()) return false;
    }
    if (name == get_file_path(Libcurl)) return true;
    std::string key(name.view());
    return fake.present.count(key) > 0 || fake.files.count(key) > 0;
}

File_Step put_in_place(String from, String to, String aside) {
    fake.put_in_place.push_back(std::string(from.view()) + " -> " + std::string(to.view()) + " (" +
                                std::string(aside.view()) + ")");
    fake.calls.push_back("put_in_place " + std::string(from.view()));
    File_Step result;
    if (fake.put_in_place_fails) {
        result.error_code = 13;
        result.failed_step = "rename";
        return result;
    }
    fake.present.erase(std::string(from.view()));
    fake.present.insert(std::string(to.view()));
    auto moved = fake.files.find(std::string(from.view()));
    if (moved != fake.files.end()) {
        fake.files[std::string(to.view())] = moved->second;
        fake.files.erase(std::string(from.view()));
    }
    result.success = true;
    return result;
}

bool delete_file(String name) {
    fake.deleted.emplace_back(name.view());
    fake.calls.push_back("delete " + std::string(name.view()));
    fake.present.erase(std::string(name.view()));
    fake.files.erase(std::string(name.view()));
    return true;
}

bool write_file(String name, String data) {
    fake.files[std::string(name.view())] = std::string(data.view());
    return true;
}

s64 read_small_file(String name, u8 *buffer, s64 capacity) {
    auto found = fake.files.find(std::string(name.view()));
    if (found == fake.files.end()) return -1;
    s64 count = std::min<s64>(capacity, (s64)found->second.size());
    memcpy(buffer, found->second.data(), (size_t)count);
    return count;
}

File_Step ok_step() {
    File_Step step;
    step.success = true;
    return step;
}

File_Step failed_step(const char *name, s64 code) {
    File_Step step;
    step.failed_step = name;
    step.error_code = code;
    return step;
}

File_Step remove_file(String name) {
    fake.files.erase(std::string(name.view()));
    return ok_step();
}

std::vector<std::string> open_names;  // by handle value
std::vector<std::pair<std::string, const char *>> open_mappings;  // name, first byte

std::string &file_of(Download_Handle handle) { return fake.files[open_names[(size_t)handle.value]]; }

Download_Open open_download(String name, bool keep_existing) {
    Download_Open result;
    std::string key(name.view());
    bool exists = fake.files.count(key) != 0;
    if (exists != keep_existing) {
        result.step = failed_step("open", 17);
        return result;
    }
    fake.files[key];
    result.size = (s64)fake.files[key].size();
    result.handle.value = (s64)open_names.size();
    open_names.push_back(key);
    result.step = ok_step();
    return result;
}

Library_Load load_library(String name) {
    fake.loads.emplace_back(name.view());
    Library_Load result;
    if (fake.failing_loads > 0) {
        fake.failing_loads--;
        result.error = fake.load_fails_with.empty() ? String("126") : tprint("%", fake.load_fails_with.c_str());
        return result;
    }
    if (!fake.load_fails_with.empty()) {
        result.error = tprint("%", fake.load_fails_with.c_str());
        return result;
    }
    result.library = &the_handle;
    return result;
}
void unload_library(void *) { fake.unloads++; }

s64 download_bytes() {
    s64 total = 0;
    for (auto &[name, bytes] : fake.files) {
        if (name.ends_with(".download")) total += (s64)bytes.size();
    }
    return total;
}

bool preallocate(Download_Handle, s64 size) { return fake.disk_room < 0 || size <= fake.disk_room; }

File_Step write_download(Download_Handle handle, String data) {
    if (fake.disk_room >= 0 && download_bytes() + data.count > fake.disk_room) return failed_step("write", 28);
    file_of(handle).append(data.data, (size_t)data.count);
    return ok_step();
}

File_Step truncate_download(Download_Handle handle) {
    file_of(handle).clear();
    return ok_step();
}

void start_writeback(Download_Handle, s64, s64) {}

// The file's own bytes, at their full length: the disk's room is taken at once.
Download_Mapping map_download(Download_Handle handle, s64 size) {
    Download_Mapping mapping;
    if (fake.disk_room >= 0 && download_bytes() - (s64)file_of(handle).size() + size > fake.disk_room) {
        mapping.step = failed_step("fallocate", 28);
        return mapping;
    }
    file_of(handle).resize((size_t)size);
    fake.download_maps++;
    mapping.bytes = (u8 *)file_of(handle).data();
    mapping.size = size;
    mapping.step = ok_step();
    return mapping;
}
void unmap_download(Download_Mapping *mapping) { *mapping = Download_Mapping{}; }
File_Step flush_and_close_download(Download_Handle) { return ok_step(); }
void close_download(Download_Handle) {}

// The folder's bytes themselves: nothing may change a file while it is mapped.
File_Mapping fake_map_file(String name) {
    File_Mapping mapping;
    auto found = fake.files.find(std::string(name.view()));
    if (found == fake.files.end()) return mapping;
    fake.mapped.emplace_back(name.view());
    mapping.data = String(found->second.data(), (s64)found->second.size());
    mapping.success = true;
    open_mappings.emplace_back(std::string(name.view()), mapping.data.data);
    return mapping;
}
void fake_unmap_file(File_Mapping *mapping) {
    for (size_t i = 0; i < open_mappings.size(); i++) {
        if (mapping->success && open_mappings[i].second == mapping->data.data) {
            open_mappings.erase(open_mappings.begin() + (ptrdiff_t)i);
            break;
        }
    }
    *mapping = File_Mapping{};
}

bool is_mapped(const std::string &name) {
    for (auto &[mapped_name, data] : open_mappings) {
        if (mapped_name == name) return true;
    }
    return false;
}

File_Step rename_into_place(String from, String to) {
    if (fake.replace_fails_for == to.view()) return failed_step("rename", 13);
    // As Windows does (ERROR_USER_MAPPED_FILE).
    if (is_mapped(std::string(from.view())) || is_mapped(std::string(to.view()))) return failed_step("rename", 1224);
    if (fake.in_use_renames > 0) {
        fake.in_use_renames--;
        File_Step step = failed_step("MoveFileExW", 32);
        step.in_use = true;
        return step;
    }
    std::string bytes = fake.files[std::string(from.view())];
    fake.files.erase(std::string(from.view()));
    fake.files[std::string(to.view())] = bytes;
    fake.replaced.emplace_back(std::string(to.view()), bytes);
    fake.calls.push_back("replace " + std::string(to.view()));
    fake.present.insert(std::string(to.view()));
    return ok_step();
}

s64 last_error() { return 0; }
void sleep_for(s32 milliseconds) { fake.sleeps.push_back(milliseconds); }
void prepare_process() {}
Instance_Lock lock_instance(String name) {
    fake.locked.emplace_back(name.view());
    Instance_Lock lock;
    lock.acquired = !fake.lock_held_elsewhere;
    lock.held_elsewhere = fake.lock_held_elsewhere;
    return lock;
}

CURLcode fake_global_init(long) { return CURLE_OK; }
void fake_global_cleanup() {}
CURL *fake_easy_init() {
    fake.easy_inits++;
    the_handle = Fake_Handle();
    return &the_handle;
}
void fake_easy_cleanup(CURL *) { fake.easy_cleanups++; }
// The updater keeps one handle and resets it before each transfer.
void fake_easy_reset(CURL *) { the_handle = Fake_Handle(); }

CURLcode fake_easy_setopt(CURL *, CURLoption option, ...) {
    va_list args;
    va_start(args, option);
    if (option == CURLOPT_URL) the_handle.url = va_arg(args, const char *);
    if (option == CURLOPT_WRITEFUNCTION) the_handle.write = va_arg(args, curl_write_callback);
    if (option == CURLOPT_WRITEDATA) the_handle.user = va_arg(args, void *);
    if (option == CURLOPT_RANGE) the_handle.range = va_arg(args, const char *);
    if (option == CURLOPT_MAXFILESIZE_LARGE) the_handle.max_size = va_arg(args, curl_off_t);
    va_end(args);
    return CURLE_OK;
}

CURLcode fake_easy_perform(CURL *) {
    fake.requested_urls.push_back(the_handle.url);
    fake.calls.push_back("get " + the_handle.url.substr(the_handle.url.rfind('/') + 1));
    fake.ranges.push_back(the_handle.range);
    Fake_Response response;
    auto first = fake.first_responses.find(the_handle.url);
    auto found = fake.responses.find(the_handle.url);
    if (first != fake.first_responses.end() && !first->second.empty()) {
        response = first->second.front();
        first->second.erase(first->second.begin());
    } else if (found != fake.responses.end()) {
        response = found->second;
    } else {
        return CURLE_COULDNT_CONNECT;
    }
    if (response.perform_result != CURLE_OK && response.deliver < 0) return response.perform_result;

    std::string body = response.body;
    the_handle.status = response.status;
    if (!the_handle.range.empty() && response.honour_range && response.status == 200) {
        s64 start = std::stoll(the_handle.range);
        if (start >= (s64)body.size()) {
            the_handle.status = 416;
            body.clear();
        } else {
            the_handle.status = 206;
            body = body.substr((size_t)start);
            the_handle.content_range = "bytes " + std::to_string(start + response.misplaced_range) + "-" + std::to_string(start + body.size() - 1) +
                                       "/" + std::to_string(response.body.size());
        }
    }
    the_handle.length = response.announce_length ? (curl_off_t)body.size() : -1;
    if (the_handle.max_size >= 0 && the_handle.length > the_handle.max_size) return CURLE_FILESIZE_EXCEEDED;
    if (response.deliver >= 0) body = body.substr(0, (size_t)response.deliver);
    // Two chunks, as a real transfer would usually deliver them.
    size_t half = body.size() / 2;
    if (half && the_handle.write(body.data(), 1, half, the_handle.user) != half) return CURLE_WRITE_ERROR;
    size_t rest = body.size() - half;
    if (rest && the_handle.write(body.data() + half, 1, rest, the_handle.user) != rest) return CURLE_WRITE_ERROR;
    return response.perform_result;
}

}  // namespace

static CURLcode fake_easy_getinfo_status(CURL *, CURLINFO info, ...) {
    va_list args;
    va_start(args, info);
    if (info == CURLINFO_RESPONSE_CODE) *va_arg(args, long *) = the_handle.status;
    if (info == CURLINFO_CONTENT_LENGTH_DOWNLOAD_T) *va_arg(args, curl_off_t *) = the_handle.length;
    va_end(args);
    return CURLE_OK;
}

static CURLHcode fake_easy_header(CURL *, const char *name, size_t, unsigned int, int, curl_header **out) {
    if (std::string(name) != "Content-Range" || the_handle.content_range.empty()) return CURLHE_MISSING;
    the_handle.header.name = (char *)"Content-Range";
    the_handle.header.value = the_handle.content_range.data();
    *out = &the_handle.header;
    return CURLHE_OK;
}

static void *find_procedure(void *, const char *name) {
    struct Entry {
        const char *name;
        void *procedure;
    };
    const Entry used[] = {
        {"curl_global_init", (void *)&fake_global_init},
        {"curl_global_cleanup", (void *)&fake_global_cleanup},
        {"curl_easy_init", (void *)&fake_easy_init},
        {"curl_easy_setopt", (void *)&fake_easy_setopt},
        {"curl_easy_perform", (void *)&fake_easy_perform},
        {"curl_easy_getinfo", (void *)&fake_easy_getinfo_status},
        {"curl_easy_cleanup", (void *)&fake_easy_cleanup},
        {"curl_easy_reset", (void *)&fake_easy_reset},
        {"curl_easy_header", (void *)&fake_easy_header},
    };
    if (fake.missing_procedure_loads > 0 && strcmp(name, fake.missing_procedure.c_str()) == 0) {
        fake.missing_procedure_loads--;
        return nullptr;
    }
    for (const Entry &entry : used) {
        if (strcmp(entry.name, name) == 0) return entry.procedure;
    }
    return &procedure_stand_in;
}

static bool no_progress_window() { return false; }

Fake_Os_Scope::Fake_Os_Scope() : saved(g_updater_os), saved_progress_window(start_progress_window) {
    g_http.handle = nullptr;  // each test starts as a new process does, with no handle kept
    fake = Fake_World();
    open_mappings.clear();
    start_progress_window = no_progress_window;
    g_updater_os.show_message_box = show_message_box;
    g_updater_os.start_process = start_process;
    g_updater_os.set_file_write_time = set_file_write_time;
    g_updater_os.path_exists = path_exists;
    g_updater_os.write_file = write_file;
    g_updater_os.read_small_file = read_small_file;
    g_updater_os.remove_file = remove_file;
    g_updater_os.open_download = open_download;
    g_updater_os.preallocate = preallocate;
    g_updater_os.map_download = map_download;
    g_updater_os.unmap_download = unmap_download;
    g_updater_os.write_download = write_download;
    g_updater_os.truncate_download = truncate_download;
    g_updater_os.start_writeback = start_writeback;
    g_updater_os.flush_and_close_download = flush_and_close_download;
    g_updater_os.close_download = close_download;
    g_updater_os.rename_into_place = rename_into_place;
    g_updater_os.put_in_place = put_in_place;
    g_updater_os.delete_file = delete_file;
    g_updater_os.map_file = fake_map_file;
    g_updater_os.unmap_file = fake_unmap_file;
    g_updater_os.load_library = load_library;
    g_updater_os.unload_library = unload_library;
    g_updater_os.find_procedure = find_procedure;
    g_updater_os.last_error = last_error;
    g_updater_os.sleep_milliseconds = sleep_for;
    g_updater_os.prepare_process = prepare_process;
    g_updater_os.lock_instance = lock_instance;
    resolve_curl_procedures(nullptr, find_procedure);  // for tests that fetch without the start-up
}

Fake_Os_Scope::~Fake_Os_Scope() {
    g_updater_os = saved;
    start_progress_window = saved_progress_window;
}

std::string url_of(const char *name) { return std::string(update_site_url().view()) + "/" + name; }
