/* Resources of the serial program body's Windows test: the main window's
   class name and title. Plain #defines, shared with the resource script. */
#ifndef SERIAL_PROGRAM_TEST_H
#define SERIAL_PROGRAM_TEST_H

#define IDS_TEST_CLASS 9001
#define IDS_TEST_TITLE 9002

#endif
