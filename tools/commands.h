// Subcommands of velmor-dump, one source file each. Each returns the exit status.
#pragma once

int cmd_report(int argc, char** argv);   // report [--encoding cp932|utf-8] FILE
int cmd_elements(int argc, char** argv); // elements [-v] FILE
int cmd_pixels(int argc, char** argv);   // pixels FILE [OUT]
int cmd_picture(int argc, char** argv);  // picture FILE OUT [--level L] [--width W] [--frame N]
int cmd_series(int argc, char** argv);   // series [--files] PATH...
int cmd_diff(int argc, char** argv);     // diff [--ignore GGGG]... [--no-private] FILE1 FILE2
int cmd_json(int argc, char** argv);     // json [--pretty] [--bulk-threshold N] [--pixel-data] FILE
int cmd_xml(int argc, char** argv);      // xml [--bulk-threshold N] [--pixel-data] FILE
int cmd_extract(int argc, char** argv);  // extract FILE OUT
int cmd_sr(int argc, char** argv);       // sr FILE
// The archive commands, in velmor-dump-archive; velmor-dump runs them there
// through run_echo and the others (archive_program.cpp).
int cmd_echo(int argc, char** argv);     // echo SERVER
int cmd_query(int argc, char** argv);    // query SERVER [--patient P] [--date A-B] [--modality M] [--series STUDY]
int cmd_retrieve(int argc, char** argv); // retrieve SERVER STUDY_UID [SERIES_UID] DIR
int cmd_send(int argc, char** argv);     // send SERVER FILE...
int run_echo(int argc, char** argv);
int run_query(int argc, char** argv);
int run_retrieve(int argc, char** argv);
int run_send(int argc, char** argv);
