// The English texts: the reference set. Every translated set carries the same
// 42 keys with the same %s conversions in the same order.
#include "ui/catalogue.h"

CATALOGUE_ENTRY(, uninstall_no_files, L"There are no files requiring uninstallation.\n")
CATALOGUE_ENTRY(, checking_java, L"Checking Java(TM) 2 Runtime Environment...\n")
CATALOGUE_ENTRY(, missing_jvm_dir, L"Error: '%s' must be followed by a Java(TM) installation directory.\n")
CATALOGUE_ENTRY(, cancel, L"Cancel")
CATALOGUE_ENTRY(, no_set_specified_working_dir, L"Error: Could not set working directory to '%s'.\n")
CATALOGUE_ENTRY(, no_connect_x11, L"Error: Cannot connect to X11 server '%s'.\n")
CATALOGUE_ENTRY(, unzipping_files, L"Extracting installation files...\n")
CATALOGUE_ENTRY(, jvm_version_unsupported, L"Error: The Java(TM) Virtual Machine is not a supported version.\n")
CATALOGUE_ENTRY(, uninstallusage,
    L"Usage: '%s' [-options]\n"
    L"where options include:\n"
    L"    -console\n"
    L"        run this application in a console\n"
    L"    -silent \n"
    L"        run this application silently \n"
    L"    -javahome <JRE (%s or higher) installation directory>\n"
    L"        force this application to use the specified \n"
    L"        Java(TM) 2 Runtime Environment installation\n"
    L"    -tmpdir <temporary directory>\n"
    L"        put all temporary files in the specified directory\n"
    L"    -log <log file>\n"
    L"        write a diagnostic log to the specified file\n"
    L"    -h\n"
    L"    -help\n"
    L"        print this help message\n")
CATALOGUE_ENTRY(, checking_disk_space, L"Checking available disk space...\n")
CATALOGUE_ENTRY(, performing_cleanup, L"Deleting temporary files...\n")
CATALOGUE_ENTRY(, no_motif_libs, L"Error: Cannot find the required Motif binaries.\n")
CATALOGUE_ENTRY(, no_resolve_exec_path, L"Error: Could not resolve the absolute path of this application.\n")
CATALOGUE_ENTRY(, setup_already_started, L"Another installation process is already running. Exiting.\n")
CATALOGUE_ENTRY(, missing_writable_dir, L"Error: '%s' must be followed by a writable directory.\n")
CATALOGUE_ENTRY(, no_find_exec_dir, L"Error: Could not find directory of executable.\n")
CATALOGUE_ENTRY(, setup_no_files, L"Error: There are no files requiring installation.\n")
CATALOGUE_ENTRY(, java_aborted, L"Error: The Java(TM) Virtual Machine has aborted.\n")
CATALOGUE_ENTRY(, no_find_java_usage,
    L"This application needs version %s or higher of the Java(TM) 2 Runtime\n"
    L"Environment. If the required Java(TM) 2 Runtime Environment is not installed,\n"
    L"you can download it from the following website:\n"
    L"    %s\n"
    L"Or if you already have the required Java(TM) 2 Runtime Environment\n"
    L"installed, try rerunning this application with the following usage:\n"
    L"    '%s' -javahome <Java(TM) installation directory>\n")
CATALOGUE_ENTRY(, no_find_specified_java, L"Error: Could not find the required version of the Java(TM) 2 Runtime Environment in '%s'.\n")
CATALOGUE_ENTRY(, executing_java, L"Launching Java(TM) 2 Runtime Environment...\n")
CATALOGUE_ENTRY(, no_connect_x11_usage,
    L"Check that the DISPLAY environment variable is correctly set or try\n"
    L"rerunning this application with the following usage:\n"
    L"    '%s' -console\n")
CATALOGUE_ENTRY(, need_more_colors,
    L"This computer has less than 256 colors. This application requires at least\n"
    L"256 colors to display windows.\n"
    L"\n"
    L"Do you want to run this application in console mode?\n")
CATALOGUE_ENTRY(, uninstall_already_started, L"Another uninstallation process is already running. Exiting.\n")
CATALOGUE_ENTRY(, no_space_system_tmpdir,
    L"\n"
    L"Error: There is not enough free disk space in the '%s' temporary directory.\n"
    L"%s bytes are required and only %s bytes are available.\n")
CATALOGUE_ENTRY(, ok, L"OK")
CATALOGUE_ENTRY(, uninstall_title, L"Uninstall")
CATALOGUE_ENTRY(, no_motif_libs_usage,
    L"Check that the LD_LIBRARY_PATH environment variable includes the\n"
    L"directories that contain the Motif binaries\n")
CATALOGUE_ENTRY(, setup_title, L"Setup")
CATALOGUE_ENTRY(, no_writable_system_tmpdir_usage,
    L"Try rerunning this application with the following usage:\n"
    L"    '%s' -tmpdir <temporary directory>\n")
CATALOGUE_ENTRY(, installusage,
    L"Usage: '%s' [-options]\n"
    L"where options include:\n"
    L"    -console\n"
    L"        run this application in a console\n"
    L"    -silent <state file>\n"
    L"        run this application silently using input from the specified file\n"
    L"    -savestate <state file>\n"
    L"        log state information in the specified file\n"
    L"    -javahome <JRE (%s or higher) installation directory>\n"
    L"        force this application to use the specified \n"
    L"        Java(TM) 2 Runtime Environment installation\n"
    L"    -tmpdir <temporary directory>\n"
    L"        put all temporary files in the specified directory\n"
    L"    -log <log file>\n"
    L"        write a diagnostic log to the specified file\n"
    L"    -id\n"
    L"        print WizardID value to standard output\n"
    L"    -h\n"
    L"    -help\n"
    L"        print this help message\n")
CATALOGUE_ENTRY(, no_find_java, L"Error: Could not find the required version of the Java(TM) 2 Runtime Environment.\n")
CATALOGUE_ENTRY(, unzipping_java_files, L"Extracting Java(TM) 2 Runtime Environment files...\n")
CATALOGUE_ENTRY(, yes, L"Yes")
CATALOGUE_ENTRY(, no_writable_dir, L"Error: '%s' is not a writable directory.\n")
CATALOGUE_ENTRY(, corrupted_zip_file, L"Error: The '%s' file appears to be corrupted.\n")
CATALOGUE_ENTRY(, no_writable_system_tmpdir, L"Error: The '%s' temporary directory is not a writable directory.\n")
CATALOGUE_ENTRY(, no_valid_arg, L"Error: '%s' is not a valid argument.\n")
CATALOGUE_ENTRY(, no, L"No")
CATALOGUE_ENTRY(, missing_file_name, L"Error: '%s' must be followed by a file name.\n")
CATALOGUE_ENTRY(, no_writable_log, L"Error: The log file '%s' cannot be written.\n")
CATALOGUE_ENTRY(, connecting_x11, L"Connecting to X11 server '%s'.\n")
