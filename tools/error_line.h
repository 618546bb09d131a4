// The one shape of velmor-dump's error lines: "velmor-dump: FILE: MESSAGE",
// with the message worded as the viewer words it (UTF-8).
#pragma once

// Writes "velmor-dump: file: message" and a line feed to standard error.
void print_error_line(const char* file, const char* message);

// The same with a detail in parentheses after the message.
void print_error_line(const char* file, const char* message, const char* detail);
