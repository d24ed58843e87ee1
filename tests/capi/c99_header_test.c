// SPDX-License-Identifier: MIT
/* The public header as a C99 program uses it, linked to the shared library. Everything here
 * works without a meter: the point catalogue and calls that fail on their arguments. */
#include <stdio.h>
#include <string.h>

#include "kolvane.h"

static int failures = 0;

static void check(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

static void check_text(const char* actual, const char* expected, const char* what) {
    if (strcmp(actual, expected) != 0) {
        fprintf(stderr, "FAILED: %s: got \"%s\", expected \"%s\"\n", what, actual, expected);
        ++failures;
    }
}

struct log_seen {
    int calls;
    int level;
    char message[128];
};

static void on_log(int level, const char* message, void* user) {
    struct log_seen* seen = (struct log_seen*)user;
    ++seen->calls;
    seen->level = level;
    strncpy(seen->message, message, sizeof seen->message - 1);
    seen->message[sizeof seen->message - 1] = '\0';
}

static int on_record(const char* record, void* user) {
    (void)record;
    (void)user;
    return 0;
}

static int on_progress(int done, int total, void* user) {
    (void)done;
    (void)total;
    (void)user;
    return 0;
}

static char out[65536];

static void catalogue(void) {
    char err[64] = "stale";
    int count = kolvane_list_points("em133", out, (int)sizeof out, err, (int)sizeof err);
    check(count == 199, "em133 catalogue has 199 points");
    check_text(err, "", "success clears the error buffer");
    check(strncmp(out, "{\"meter\":\"em133\",\"points\":[{\"pid\":", 33) == 0,
          "catalogue document start");
    count = kolvane_list_points("PM335", out, (int)sizeof out, err, (int)sizeof err);
    check(count == 205, "pm335 names the em235 catalogue of 205 points");
    check(strncmp(out, "{\"meter\":\"em235\",", 17) == 0, "pm335 is printed as em235");
}

static void failures_and_log(void) {
    struct log_seen seen = {0, -1, ""};
    char err[64];
    char five[5];
    kolvane_record_cb record = on_record;
    kolvane_progress_cb progress = on_progress;

    kolvane_set_log_callback(on_log, &seen);
    check(kolvane_list_points("em999", out, (int)sizeof out, err, (int)sizeof err) == KOLVANE_ERROR,
          "unknown model fails");
    check_text(err, "Unknown meter model 'em999' (expected em133 or em235)", "model message");
    check(seen.calls == 1 && seen.level == KOLVANE_LOG_ERROR, "failure logged once at error level");
    check_text(seen.message, "Unknown meter model 'em999' (expected em133 or em235)",
               "logged message");

    check(kolvane_read_datalog("127.0.0.1", "em133", 1, NULL, NULL, NULL, err, (int)sizeof err) ==
              KOLVANE_ERROR,
          "null record callback fails");
    check_text(err, "cb must not be null", "cb message");
    check(kolvane_read_eventlog(NULL, "em133", 0, NULL, record, NULL, five, (int)sizeof five) ==
              KOLVANE_ERROR,
          "null host fails");
    check_text(five, "host", "message cut to the buffer");
    check(kolvane_export_datalog_ex("127.0.0.1", "em133", 1, NULL, NULL, progress, NULL, NULL, 0) ==
              KOLVANE_ERROR,
          "failure without error buffer");

    check(seen.calls == 4, "every failure logged");
    kolvane_set_log_callback(NULL, NULL);
    kolvane_list_points("em999", out, (int)sizeof out, err, (int)sizeof err);
    check(seen.calls == 4, "no message after the callback is cleared");
}

int main(void) {
    check_text(kolvane_version(), KOLVANE_VERSION, "version");
    check(KOLVANE_ERROR == -1 && KOLVANE_CANCELLED == -2, "status codes");
    check(KOLVANE_LOG_ERROR == 0 && KOLVANE_LOG_WARNING == 1 && KOLVANE_LOG_INFO == 2 &&
              KOLVANE_LOG_DEBUG == 3,
          "log levels");
    catalogue();
    failures_and_log();
    if (failures == 0) printf("C interface: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
