// SPDX-License-Identifier: Apache-2.0
// Readers that print chosen sections of the media pipeline's state logs.
#pragma once

#include <stddef.h>
#include <stdio.h>

#define MEDIA_LINE_SIZE 1024

// A section starts at the first line that contains `text` and goes on for `count` lines.
struct media_marker {
    const char* text;
    int count;
};

// One log, its header and its markers in the order the sections stand in it.
struct media_log {
    const char* path;
    const char* header;  // printed in its own line before the first section found
    const media_marker* markers;
    size_t marker_count;
};

// Opens a log for reading; prints "fopen: ..." and ends the process (status 255) when
// it cannot.
FILE* media_open_log(const char* path);
// The next line (pieces of at most MEDIA_LINE_SIZE - 1 characters) in the shared line
// buffer, valid until the next read; null at the end of the stream.
char* media_read_line(FILE* fp);
// Reads on up to the first line that contains the marker; null when the stream ends first.
char* media_find_line(FILE* fp, const char* marker);
// Prints up to count further lines.
void media_print_lines(FILE* fp, int count);
// Prints every section of one open log that is found, the first with the header.
void media_print_sections(FILE* fp, const char* header, const media_marker* markers, size_t count);
// Prints one log's sections and the newline that ends them.
void media_show_log(const media_log& log);

void media_show_sys(void);
void media_show_vb(void);
void media_show_vpss(void);
void media_show_vi(void);
void media_show_venc(void);
void media_show_rc(void);
void media_show_acodec(void);
void media_show_ao(void);
void media_show_adec(void);
void media_show_ai(void);
void media_show_aenc(void);
void media_show_vqe(void);
