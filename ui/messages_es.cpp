// The Spanish texts. Two particularities are deliberate: the texts of
// "setup_already_started" and "uninstall_already_started" stay English, and
// the usage texts take only the program name (they name no Java version, so
// the version argument the caller passes is ignored).
#include "ui/catalogue.h"

CATALOGUE_ENTRY(es_, uninstall_no_files, L"No hay archivos que requieran desinstalación.\n")
CATALOGUE_ENTRY(es_, checking_java, L"Comprobando Java(TM) 2 Runtime Environment...\n")
CATALOGUE_ENTRY(es_, missing_jvm_dir, L"Error: '%s' debe ir seguido de un directorio de instalación de Java(TM).\n")
CATALOGUE_ENTRY(es_, cancel, L"Cancelar")
CATALOGUE_ENTRY(es_, no_set_specified_working_dir, L"Error: No se ha podido establecer '%s' como directorio de trabajo.\n")
CATALOGUE_ENTRY(es_, no_connect_x11, L"Error: No se puede conectar con el servidor X11 '%s'.\n")
CATALOGUE_ENTRY(es_, unzipping_files, L"Extrayendo los archivos de instalación...\n")
CATALOGUE_ENTRY(es_, jvm_version_unsupported, L"Error: La versión de la máquina virtual Java(TM) no es compatible.\n")
CATALOGUE_ENTRY(es_, uninstallusage,
    L"Uso: '%s' [-opciones]\n"
    L"donde las opciones son:\n"
    L"    -console\n"
    L"        ejecuta esta aplicación en una consola\n"
    L"    -silent\n"
    L"        ejecuta esta aplicación de forma silenciosa\n"
    L"    -javahome <directorio de instalación de JRE>\n"
    L"        obliga a esta aplicación a usar la instalación indicada\n"
    L"        de Java(TM) 2 Runtime Environment\n"
    L"    -tmpdir <directorio temporal>\n"
    L"        coloca todos los archivos temporales en el directorio indicado\n"
    L"    -log <archivo de registro>\n"
    L"        escribe un registro de diagnóstico en el archivo indicado\n"
    L"    -h\n"
    L"    -help\n"
    L"        muestra este mensaje de ayuda\n")
CATALOGUE_ENTRY(es_, checking_disk_space, L"Comprobando el espacio disponible en el disco...\n")
CATALOGUE_ENTRY(es_, performing_cleanup, L"Eliminando los archivos temporales...\n")
CATALOGUE_ENTRY(es_, no_motif_libs, L"Error: No se encuentran los binarios de Motif necesarios.\n")
CATALOGUE_ENTRY(es_, no_resolve_exec_path, L"Error: No se ha podido determinar la ruta absoluta de esta aplicación.\n")
CATALOGUE_ENTRY(es_, setup_already_started, L"Another installation process is already running. Exiting.\n")
CATALOGUE_ENTRY(es_, missing_writable_dir, L"Error: '%s' debe ir seguido de un directorio con permiso de escritura.\n")
CATALOGUE_ENTRY(es_, no_find_exec_dir, L"Error: No se ha encontrado el directorio del ejecutable.\n")
CATALOGUE_ENTRY(es_, setup_no_files, L"Error: No hay archivos que requieran instalación.\n")
CATALOGUE_ENTRY(es_, java_aborted, L"Error: La máquina virtual Java(TM) ha terminado de forma anómala.\n")
CATALOGUE_ENTRY(es_, no_find_java_usage,
    L"Esta aplicación necesita la versión %s o posterior de Java(TM) 2 Runtime\n"
    L"Environment. Si la versión necesaria de Java(TM) 2 Runtime Environment no\n"
    L"está instalada, puede descargarla del siguiente sitio web:\n"
    L"    %s\n"
    L"Si ya tiene instalada la versión necesaria de Java(TM) 2 Runtime Environment,\n"
    L"vuelva a ejecutar esta aplicación de la forma siguiente:\n"
    L"    '%s' -javahome <directorio de instalación de Java(TM)>\n")
CATALOGUE_ENTRY(es_, no_find_specified_java, L"Error: No se ha encontrado la versión necesaria de Java(TM) 2 Runtime Environment en '%s'.\n")
CATALOGUE_ENTRY(es_, executing_java, L"Iniciando Java(TM) 2 Runtime Environment...\n")
CATALOGUE_ENTRY(es_, no_connect_x11_usage,
    L"Compruebe que la variable de entorno DISPLAY tiene un valor correcto o\n"
    L"vuelva a ejecutar esta aplicación de la forma siguiente:\n"
    L"    '%s' -console\n")
CATALOGUE_ENTRY(es_, need_more_colors,
    L"Este equipo tiene menos de 256 colores. Esta aplicación necesita al menos\n"
    L"256 colores para mostrar sus ventanas.\n"
    L"\n"
    L"¿Desea ejecutar esta aplicación en modo de consola?\n")
CATALOGUE_ENTRY(es_, uninstall_already_started, L"Another uninstallation process is already running. Exiting.\n")
CATALOGUE_ENTRY(es_, no_space_system_tmpdir,
    L"Error: No hay suficiente espacio libre en el disco del directorio temporal '%s'.\n"
    L"Se necesitan %s bytes y solo hay %s bytes disponibles.\n")
CATALOGUE_ENTRY(es_, ok, L"OK")
CATALOGUE_ENTRY(es_, uninstall_title, L"Desinstalación")
CATALOGUE_ENTRY(es_, no_motif_libs_usage,
    L"Compruebe que la variable de entorno LD_LIBRARY_PATH incluye los\n"
    L"directorios que contienen los binarios de Motif.\n")
CATALOGUE_ENTRY(es_, setup_title, L"Instalación")
CATALOGUE_ENTRY(es_, no_writable_system_tmpdir_usage,
    L"Vuelva a ejecutar esta aplicación de la forma siguiente:\n"
    L"    '%s' -tmpdir <directorio temporal>\n")
CATALOGUE_ENTRY(es_, installusage,
    L"Uso: '%s' [-opciones]\n"
    L"donde las opciones son:\n"
    L"    -console\n"
    L"        ejecuta esta aplicación en una consola\n"
    L"    -silent <archivo de estado>\n"
    L"        ejecuta esta aplicación de forma silenciosa con los datos del archivo indicado\n"
    L"    -savestate <archivo de estado>\n"
    L"        guarda la información de estado en el archivo indicado\n"
    L"    -javahome <directorio de instalación de JRE>\n"
    L"        obliga a esta aplicación a usar la instalación indicada\n"
    L"        de Java(TM) 2 Runtime Environment\n"
    L"    -tmpdir <directorio temporal>\n"
    L"        coloca todos los archivos temporales en el directorio indicado\n"
    L"    -log <archivo de registro>\n"
    L"        escribe un registro de diagnóstico en el archivo indicado\n"
    L"    -id\n"
    L"        escribe el valor de WizardID en la salida estándar\n"
    L"    -h\n"
    L"    -help\n"
    L"        muestra este mensaje de ayuda\n")
CATALOGUE_ENTRY(es_, no_find_java, L"Error: No se ha encontrado la versión necesaria de Java(TM) 2 Runtime Environment.\n")
CATALOGUE_ENTRY(es_, unzipping_java_files, L"Extrayendo los archivos de Java(TM) 2 Runtime Environment...\n")
CATALOGUE_ENTRY(es_, yes, L"Sí")
CATALOGUE_ENTRY(es_, no_writable_dir, L"Error: '%s' no es un directorio con permiso de escritura.\n")
CATALOGUE_ENTRY(es_, corrupted_zip_file, L"Error: El archivo '%s' parece estar dañado.\n")
CATALOGUE_ENTRY(es_, no_writable_system_tmpdir, L"Error: El directorio temporal '%s' no es un directorio con permiso de escritura.\n")
CATALOGUE_ENTRY(es_, no_valid_arg, L"Error: '%s' no es un argumento válido.\n")
CATALOGUE_ENTRY(es_, no, L"No")
CATALOGUE_ENTRY(es_, missing_file_name, L"Error: '%s' debe ir seguido de un nombre de archivo.\n")
CATALOGUE_ENTRY(es_, no_writable_log, L"Error: No se puede escribir el archivo de registro '%s'.\n")
CATALOGUE_ENTRY(es_, connecting_x11, L"Conectando con el servidor X11 '%s'.\n")
