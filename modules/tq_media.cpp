// SPDX-License-Identifier: Apache-2.0
// The media module: runs the state script, then shows component logs (whole, or
// chosen sections of them for the groups) in command-line order.
#include <getopt.h>
#include <stdio.h>

#include "framework/module.h"
#include "framework/shell.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "modules/tq_media_log.h"
#include "osa/osa.h"

#define MEDIA_MODULE_ID 19
#define MEDIA_STATE_SCRIPT "av_log.sh"

static int media_usage(void);
static int media_test_main(int argc, char** argv);

// Values 0 to 23 are the long-only options; each equals its index in the
// component-name table below. 12 is not used.
// clang-format off
constexpr auto kMediaOptions = option_table("module name: media", {
    {"all", no_argument, 'a', "", "Display all information!"},
    {"acodec", no_argument, 0, "", "Display acodec information!"},
    {"adec", no_argument, 1, "", "Display adec information!"},
    {"aenc", no_argument, 2, "", "Display aenc information!"},
    {"ai", no_argument, 3, "", "Display ai information!"},
    {"ao", no_argument, 4, "", "Display ao information!"},
    {"audio", no_argument, 5, "", "Display audio information!"},
    {"chnl", no_argument, 6, "", "Display chnl information!"},
    {"h264e", no_argument, 7, "", "Display h264e information!"},
    {"h265e", no_argument, 8, "", "Display h265e information!"},
    {"isp", no_argument, 9, "", "Display isp information!"},
    {"ive", no_argument, 10, "", "Display ive information!"},
    {"jpege", no_argument, 11, "", "Display jpege information!"},
    {"rc", no_argument, 13, "", "Display rc information!"},
    {"rgn", no_argument, 14, "", "Display rgn information!"},
    {"sys", no_argument, 15, "", "Display sys information!"},
    {"vb", no_argument, 16, "", "Display vb information!"},
    {"vda", no_argument, 17, "", "Display vda information!"},
    {"venc", no_argument, 18, "", "Display venc information!"},
    {"vgs", no_argument, 19, "", "Display vgs information!"},
    {"vi", no_argument, 20, "", "Display vi information!"},
    {"vo", no_argument, 21, "", "Display vo information!"},
    {"vpss", no_argument, 22, "", "Display vpss information!"},
    {"video", no_argument, 23, "", "Display video information!"},
});
// clang-format on

static void media_show_video(void);
static void media_show_audio(void);
static void media_show_all(void);
static void media_cat_log(const char* name);

// What each long-only option does: its log's name, and the reader that shows it. A
// component with a section reader shows its sections; one without shows its whole log.
struct MediaComponent {
    const char* name;
    void (*show)(void);
};

static const MediaComponent kMediaComponents[24] = {
    {"acodec", nullptr},       {"adec", nullptr},         {"aenc", nullptr},
    {"ai", nullptr},           {"ao", nullptr},           {"audio", media_show_audio},
    {"chnl", nullptr},         {"h264e", nullptr},        {"h265e", nullptr},
    {"isp", nullptr},          {"ive", nullptr},          {"jpege", nullptr},
    {nullptr, nullptr},        {"rc", media_show_rc},     {"rgn", nullptr},
    {"sys", media_show_sys},   {"vb", media_show_vb},     {"vda", nullptr},
    {"venc", media_show_venc}, {"vgs", nullptr},          {"vi", media_show_vi},
    {"vo", nullptr},           {"vpss", media_show_vpss}, {"video", media_show_video},
};

static void media_cat_log(const char* name) {
    char cmd[128];
    snprintf(cmd, sizeof cmd, "cat /tmp/media/%s.log", name);
    test_system(cmd);
}

static void media_show_video(void) {
    media_show_sys();
    media_show_vb();
    media_show_vpss();
    media_show_vi();
    media_show_venc();
    media_show_rc();
}

static void media_show_audio(void) {
    media_show_acodec();
    media_show_ao();
    media_show_adec();
    media_show_ai();
    media_show_aenc();
    media_show_vqe();
}

static void media_show_all(void) {
    media_show_video();
    media_show_audio();
}

static const char* media_option(int opt, const char*) {
    if (opt == 'a') {
        media_show_all();
    } else if (opt >= 0 && opt < 24 && kMediaComponents[opt].name != nullptr) {
        const MediaComponent& c = kMediaComponents[opt];
        if (c.show != nullptr) {
            c.show();
        } else {
            media_cat_log(c.name);
        }
    }
    return nullptr;
}

static int media_init_param(int argc, char** argv) {
    if (option_parse(argc, argv, kMediaOptions, media_option,
                     {"tq_media", "media_init_param", media_usage}) != 0) {
        test_exit_process(-1);
    }
    return 0;
}

static int media_test_main(int argc, char** argv) {
    test_system(MEDIA_STATE_SCRIPT);
    media_init_param(argc, argv);
    return 0;
}

static int media_usage(void) {
    return print_module_usage(MEDIA_MODULE_ID, kMediaOptions);
}

MODULE_REGISTRATION(media, MEDIA_MODULE_ID, nullptr, kMediaOptions)
