/* The frame-server module's C interface: what a script's clip is, and how to play it.
 * The module is loaded from the program folder's system/ directory (libavisynth.so). */
#ifndef VANTAQ_FS_H
#define VANTAQ_FS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Raised whenever vantaq_fs_info changes shape; a caller refuses a module of another version. */
#define VANTAQ_FS_ABI_VERSION 1

#define VANTAQ_FS_PATH_MAX 4096
#define VANTAQ_FS_FILTER_MAX 2048
#define VANTAQ_FS_TYPE_MAX 64

/* Result codes of vantaq_fs_open. */
enum {
    VANTAQ_FS_OK = 0,
    VANTAQ_FS_CANNOT_READ = 1,  /* the script itself cannot be read */
    VANTAQ_FS_SCRIPT_ERROR = 2, /* syntax error, unknown function, bad argument */
    VANTAQ_FS_SOURCE_ERROR = 3, /* the AVI file the script names cannot be read */
    VANTAQ_FS_BAD_CALL = 4      /* null pointers */
};

/* The clip a script returns, and the same clip as an ffmpeg input plus filters. */
typedef struct vantaq_fs_info {
    uint32_t width;  /* pixels */
    uint32_t height; /* pixels */
    uint32_t rate;   /* frames per second = rate / scale, reduced */
    uint32_t scale;
    uint32_t length;    /* frames */
    uint32_t has_audio; /* 1 when the clip carries the source's audio */
    char file_type[VANTAQ_FS_TYPE_MAX];
    /* The AVI file the clip comes from, as an absolute path. */
    char source[VANTAQ_FS_PATH_MAX];
    /* ffmpeg video filter chain (-vf) that turns `source` into the clip; empty when none.
     * Play it with: ffmpeg -i SOURCE -vf VIDEO_FILTER [-af AUDIO_FILTER] -r RATE/SCALE ... */
    char video_filter[VANTAQ_FS_FILTER_MAX];
    /* ffmpeg audio filter chain (-af) for the source's audio; empty when none. */
    char audio_filter[VANTAQ_FS_FILTER_MAX];
} vantaq_fs_info;

/* VANTAQ_FS_ABI_VERSION of the module. */
int vantaq_fs_abi_version(void);

/* Evaluates the script at `script_path` (UTF-8/8-bit path) into `*info`. Returns VANTAQ_FS_OK
 * or an error code; on an error `error` receives a one-line text (truncated to `error_len`,
 * always terminated when error_len > 0) that names the script line for script errors. A script
 * larger than 1 MiB, nesting brackets, calls or signs deeper than 100 levels, or building a
 * filter chain longer than VANTAQ_FS_FILTER_MAX - 1 characters is refused; a script or AVI that
 * is no regular file (a FIFO, a device) is refused without waiting.
 * Thread-safe: no state is kept between calls. */
int vantaq_fs_open(const char* script_path, vantaq_fs_info* info, char* error, size_t error_len);

typedef int (*vantaq_fs_abi_version_fn)(void);
typedef int (*vantaq_fs_open_fn)(const char*, vantaq_fs_info*, char*, size_t);

#ifdef __cplusplus
}
#endif

#endif /* VANTAQ_FS_H */
