// The fake operating system and libcurl of the update driver's tests.
#include "fake_updater_os.h"

#include "embedded_files.h"
#include "update_run.h"

#include <cstdarg>
#include <cstring>

Fake_World fake;

namespace {

struct Fake_Handle {
    std::string url;
    curl_write_callback write = nullptr;
    long status = 0;
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
    return name == get_file_path(Libcurl) || fake.present.count(std::string(name.view())) > 0;
}

File_Replace put_in_place(String from, String to, String aside) {
    fake.put_in_place.push_back(std::string(from.view()) + " -> " + std::string(to.view()) + " (" +
                                std::string(aside.view()) + ")");
    fake.calls.push_back("put_in_place " + std::string(from.view()));
    File_Replace result;
    if (fake.put_in_place_fails) {
        result.error_code = 13;
        result.failed_step = "rename";
        return result;
    }
    fake.present.erase(std::string(from.view()));
    fake.present.insert(std::string(to.view()));
    result.success = true;
    return result;
}

bool delete_file(String name) {
    fake.deleted.emplace_back(name.view());
    fake.calls.push_back("delete " + std::string(name.view()));
    fake.present.erase(std::string(name.view()));
    return true;
}
bool write_file(String, String) { return true; }

File_Replace replace_file(String name, String data) {
    File_Replace result;
    if (fake.replace_fails_for == name.view()) {
        result.error_code = 13;
        result.failed_step = "rename";
        return result;
    }
    fake.replaced.emplace_back(std::string(name.view()), std::string(data.view()));
    fake.calls.push_back("replace " + std::string(name.view()));
    fake.present.insert(std::string(name.view()));
    result.success = true;
    return result;
}

void *load_library(String) { return &the_handle; }
s64 last_error() { return 0; }
void *reserve_memory(s64 size) { return platform_updater_os().reserve_memory(size); }
void prepare_process() {}

CURLcode fake_global_init(long) { return CURLE_OK; }
void fake_global_cleanup() {}
CURL *fake_easy_init() {
    the_handle = Fake_Handle();
    return &the_handle;
}
void fake_easy_cleanup(CURL *) {}

CURLcode fake_easy_setopt(CURL *, CURLoption option, ...) {
    va_list args;
    va_start(args, option);
    if (option == CURLOPT_URL) the_handle.url = va_arg(args, const char *);
    if (option == CURLOPT_WRITEFUNCTION) the_handle.write = va_arg(args, curl_write_callback);
    va_end(args);
    return CURLE_OK;
}

CURLcode fake_easy_perform(CURL *) {
    fake.requested_urls.push_back(the_handle.url);
    fake.calls.push_back("get " + the_handle.url.substr(the_handle.url.rfind('/') + 1));
    auto found = fake.responses.find(the_handle.url);
    if (found == fake.responses.end()) return CURLE_COULDNT_CONNECT;
    const Fake_Response &response = found->second;
    if (response.perform_result != CURLE_OK) return response.perform_result;
    // Two chunks, as a real transfer would usually deliver them.
    std::string body = response.body;
    size_t half = body.size() / 2;
    if (half && the_handle.write(body.data(), 1, half, nullptr) != half) return CURLE_WRITE_ERROR;
    size_t rest = body.size() - half;
    if (rest && the_handle.write(body.data() + half, 1, rest, nullptr) != rest) return CURLE_WRITE_ERROR;
    the_handle.status = response.status;
    return CURLE_OK;
}

}  // namespace

static CURLcode fake_easy_getinfo_status(CURL *, CURLINFO info, ...) {
    va_list args;
    va_start(args, info);
    if (info == CURLINFO_RESPONSE_CODE) *va_arg(args, long *) = the_handle.status;
    va_end(args);
    return CURLE_OK;
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
    };
    for (const Entry &entry : used) {
        if (strcmp(entry.name, name) == 0) return entry.procedure;
    }
    return &procedure_stand_in;
}

static bool no_progress_window() { return false; }

Fake_Os_Scope::Fake_Os_Scope() : saved(g_updater_os), saved_progress_window(start_progress_window) {
    fake = Fake_World();
    start_progress_window = no_progress_window;
    g_updater_os.show_message_box = show_message_box;
    g_updater_os.start_process = start_process;
    g_updater_os.set_file_write_time = set_file_write_time;
    g_updater_os.path_exists = path_exists;
    g_updater_os.write_file = write_file;
    g_updater_os.replace_file = replace_file;
    g_updater_os.put_in_place = put_in_place;
    g_updater_os.delete_file = delete_file;
    g_updater_os.load_library = load_library;
    g_updater_os.find_procedure = find_procedure;
    g_updater_os.last_error = last_error;
    g_updater_os.reserve_memory = reserve_memory;
    g_updater_os.prepare_process = prepare_process;
    resolve_curl_procedures(nullptr, find_procedure);  // for tests that fetch without the start-up
}

Fake_Os_Scope::~Fake_Os_Scope() {
    g_updater_os = saved;
    start_progress_window = saved_progress_window;
}

std::string url_of(const char *name) { return std::string(update_site_url().view()) + "/" + name; }
