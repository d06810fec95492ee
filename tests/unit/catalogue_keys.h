// The catalogue's keys and language tags, shared by the catalogue tests.
#ifndef TESTS_UNIT_CATALOGUE_KEYS_H
#define TESTS_UNIT_CATALOGUE_KEYS_H

#include <set>
#include <string>
#include <vector>

namespace catalogue_test {

// The 42 keys of every set, in the catalogue's own order.
inline const std::vector<std::string> &Keys()
{
    static const std::vector<std::string> keys = {
        "uninstall_no_files", "checking_java", "missing_jvm_dir", "cancel",
        "no_set_specified_working_dir", "no_connect_x11", "unzipping_files",
        "jvm_version_unsupported", "uninstallusage", "checking_disk_space",
        "performing_cleanup", "no_motif_libs", "no_resolve_exec_path",
        "setup_already_started", "missing_writable_dir", "no_find_exec_dir",
        "setup_no_files", "java_aborted", "no_find_java_usage",
        "no_find_specified_java", "executing_java", "no_connect_x11_usage",
        "need_more_colors", "uninstall_already_started", "no_space_system_tmpdir",
        "ok", "uninstall_title", "no_motif_libs_usage", "setup_title",
        "no_writable_system_tmpdir_usage", "installusage", "no_find_java",
        "unzipping_java_files", "yes", "no_writable_dir", "corrupted_zip_file",
        "no_writable_system_tmpdir", "no_valid_arg", "no", "missing_file_name",
        "no_writable_log", "connecting_x11",
    };
    return keys;
}

// The texts that are captions and button labels, never printed.
inline bool IsShortKey(const std::string &key)
{
    static const std::set<std::string> shortKeys = {"cancel", "ok", "yes", "no",
                                                    "setup_title", "uninstall_title"};
    return shortKeys.count(key) != 0;
}

// Export-name infix of each set: "" is English.
inline const std::vector<std::string> &LanguageTags()
{
    static const std::vector<std::string> tags = {"", "es_", "ja_", "zh_CN_"};
    return tags;
}

} // namespace catalogue_test

#endif
