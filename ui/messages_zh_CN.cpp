// The Simplified Chinese texts. Every character here exists in code page 936,
// so on a Chinese system nothing is lost in the conversion to the ANSI code
// page.
#include "ui/catalogue.h"

CATALOGUE_ENTRY(zh_CN_, uninstall_no_files, L"没有需要卸载的文件。\n")
CATALOGUE_ENTRY(zh_CN_, checking_java, L"正在检查 Java(TM) 2 Runtime Environment...\n")
CATALOGUE_ENTRY(zh_CN_, missing_jvm_dir, L"错误：'%s' 后面必须跟一个 Java(TM) 安装目录。\n")
CATALOGUE_ENTRY(zh_CN_, cancel, L"取消")
CATALOGUE_ENTRY(zh_CN_, no_set_specified_working_dir, L"错误：无法将工作目录设置为 '%s'。\n")
CATALOGUE_ENTRY(zh_CN_, no_connect_x11, L"错误：无法连接到 X11 服务器 '%s'。\n")
CATALOGUE_ENTRY(zh_CN_, unzipping_files, L"正在解压缩安装文件...\n")
CATALOGUE_ENTRY(zh_CN_, jvm_version_unsupported, L"错误：不支持此版本的 Java(TM) 虚拟机。\n")
CATALOGUE_ENTRY(zh_CN_, uninstallusage,
    L"用法：'%s' [-options]\n"
    L"其中的选项包括：\n"
    L"    -console\n"
    L"        在控制台中运行此应用程序\n"
    L"    -silent\n"
    L"        以静默方式运行此应用程序\n"
    L"    -javahome <JRE（%s 或更高版本）安装目录>\n"
    L"        强制此应用程序使用指定的\n"
    L"        Java(TM) 2 Runtime Environment 安装\n"
    L"    -tmpdir <临时目录>\n"
    L"        将所有临时文件放在指定的目录中\n"
    L"    -log <日志文件>\n"
    L"        将诊断日志写入指定的文件\n"
    L"    -h\n"
    L"    -help\n"
    L"        显示此帮助信息\n")
CATALOGUE_ENTRY(zh_CN_, checking_disk_space, L"正在检查可用磁盘空间...\n")
CATALOGUE_ENTRY(zh_CN_, performing_cleanup, L"正在删除临时文件...\n")
CATALOGUE_ENTRY(zh_CN_, no_motif_libs, L"错误：找不到所需的 Motif 二进制文件。\n")
CATALOGUE_ENTRY(zh_CN_, no_resolve_exec_path, L"错误：无法解析此应用程序的绝对路径。\n")
CATALOGUE_ENTRY(zh_CN_, setup_already_started, L"另一个安装进程正在运行。正在退出。\n")
CATALOGUE_ENTRY(zh_CN_, missing_writable_dir, L"错误：'%s' 后面必须跟一个可写目录。\n")
CATALOGUE_ENTRY(zh_CN_, no_find_exec_dir, L"错误：找不到可执行文件所在的目录。\n")
CATALOGUE_ENTRY(zh_CN_, setup_no_files, L"错误：没有需要安装的文件。\n")
CATALOGUE_ENTRY(zh_CN_, java_aborted, L"错误：Java(TM) 虚拟机已异常终止。\n")
CATALOGUE_ENTRY(zh_CN_, no_find_java_usage,
    L"此应用程序需要 %s 或更高版本的 Java(TM) 2 Runtime Environment。\n"
    L"如果尚未安装所需的 Java(TM) 2 Runtime Environment，\n"
    L"可以从以下网站下载：\n"
    L"    %s\n"
    L"如果已经安装了所需的 Java(TM) 2 Runtime Environment，\n"
    L"请尝试按以下用法重新运行此应用程序：\n"
    L"    '%s' -javahome <Java(TM) 安装目录>\n")
CATALOGUE_ENTRY(zh_CN_, no_find_specified_java, L"错误：在 '%s' 中找不到所需版本的 Java(TM) 2 Runtime Environment。\n")
CATALOGUE_ENTRY(zh_CN_, executing_java, L"正在启动 Java(TM) 2 Runtime Environment...\n")
CATALOGUE_ENTRY(zh_CN_, no_connect_x11_usage,
    L"请检查 DISPLAY 环境变量是否设置正确，或尝试\n"
    L"按以下用法重新运行此应用程序：\n"
    L"    '%s' -console\n")
CATALOGUE_ENTRY(zh_CN_, need_more_colors,
    L"此计算机的颜色少于 256 色。此应用程序至少需要\n"
    L"256 色才能显示窗口。\n"
    L"\n"
    L"是否要在控制台模式下运行此应用程序？\n")
CATALOGUE_ENTRY(zh_CN_, uninstall_already_started, L"另一个卸载进程正在运行。正在退出。\n")
CATALOGUE_ENTRY(zh_CN_, no_space_system_tmpdir,
    L"\n"
    L"错误：临时目录 '%s' 所在磁盘的可用空间不足。\n"
    L"需要 %s 字节，但只有 %s 字节可用。\n")
CATALOGUE_ENTRY(zh_CN_, ok, L"确定")
CATALOGUE_ENTRY(zh_CN_, uninstall_title, L"卸载")
CATALOGUE_ENTRY(zh_CN_, no_motif_libs_usage,
    L"请检查 LD_LIBRARY_PATH 环境变量是否包含\n"
    L"Motif 二进制文件所在的目录。\n")
CATALOGUE_ENTRY(zh_CN_, setup_title, L"设置")
CATALOGUE_ENTRY(zh_CN_, no_writable_system_tmpdir_usage,
    L"请尝试按以下用法重新运行此应用程序：\n"
    L"    '%s' -tmpdir <临时目录>\n")
CATALOGUE_ENTRY(zh_CN_, installusage,
    L"用法：'%s' [-options]\n"
    L"其中的选项包括：\n"
    L"    -console\n"
    L"        在控制台中运行此应用程序\n"
    L"    -silent <状态文件>\n"
    L"        使用指定文件中的输入以静默方式运行此应用程序\n"
    L"    -savestate <状态文件>\n"
    L"        将状态信息记录到指定的文件中\n"
    L"    -javahome <JRE（%s 或更高版本）安装目录>\n"
    L"        强制此应用程序使用指定的\n"
    L"        Java(TM) 2 Runtime Environment 安装\n"
    L"    -tmpdir <临时目录>\n"
    L"        将所有临时文件放在指定的目录中\n"
    L"    -log <日志文件>\n"
    L"        将诊断日志写入指定的文件\n"
    L"    -id\n"
    L"        将 WizardID 值输出到标准输出\n"
    L"    -h\n"
    L"    -help\n"
    L"        显示此帮助信息\n")
CATALOGUE_ENTRY(zh_CN_, no_find_java, L"错误：找不到所需版本的 Java(TM) 2 Runtime Environment。\n")
CATALOGUE_ENTRY(zh_CN_, unzipping_java_files, L"正在解压缩 Java(TM) 2 Runtime Environment 文件...\n")
CATALOGUE_ENTRY(zh_CN_, yes, L"是")
CATALOGUE_ENTRY(zh_CN_, no_writable_dir, L"错误：'%s' 不是可写目录。\n")
CATALOGUE_ENTRY(zh_CN_, corrupted_zip_file, L"错误：文件 '%s' 似乎已损坏。\n")
CATALOGUE_ENTRY(zh_CN_, no_writable_system_tmpdir, L"错误：临时目录 '%s' 不是可写目录。\n")
CATALOGUE_ENTRY(zh_CN_, no_valid_arg, L"错误：'%s' 不是有效的参数。\n")
CATALOGUE_ENTRY(zh_CN_, no, L"否")
CATALOGUE_ENTRY(zh_CN_, missing_file_name, L"错误：'%s' 后面必须跟一个文件名。\n")
CATALOGUE_ENTRY(zh_CN_, no_writable_log, L"错误：无法写入日志文件 '%s'。\n")
CATALOGUE_ENTRY(zh_CN_, connecting_x11, L"正在连接到 X11 服务器 '%s'。\n")
