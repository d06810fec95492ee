// The Japanese texts. "yes" and "no" stay English on purpose. Every character
// here exists in code page 932, so on a Japanese system nothing is lost in
// the conversion to the ANSI code page.
#include "ui/catalogue.h"

CATALOGUE_ENTRY(ja_, uninstall_no_files, L"アンインストールが必要なファイルはありません。\n")
CATALOGUE_ENTRY(ja_, checking_java, L"Java(TM) 2 Runtime Environment を確認しています...\n")
CATALOGUE_ENTRY(ja_, missing_jvm_dir, L"エラー: '%s' の後には Java(TM) のインストールディレクトリを指定する必要があります。\n")
CATALOGUE_ENTRY(ja_, cancel, L"取消し")
CATALOGUE_ENTRY(ja_, no_set_specified_working_dir, L"エラー: 作業ディレクトリを '%s' に設定できませんでした。\n")
CATALOGUE_ENTRY(ja_, no_connect_x11, L"エラー: X11 サーバ '%s' に接続できません。\n")
CATALOGUE_ENTRY(ja_, unzipping_files, L"インストールファイルを展開しています...\n")
CATALOGUE_ENTRY(ja_, jvm_version_unsupported, L"エラー: この Java(TM) 仮想マシンはサポートされていないバージョンです。\n")
CATALOGUE_ENTRY(ja_, uninstallusage,
    L"使用法: '%s' [-options]\n"
    L"オプションは次のとおりです:\n"
    L"    -console\n"
    L"        このアプリケーションをコンソールで実行します\n"
    L"    -silent\n"
    L"        このアプリケーションをサイレントモードで実行します\n"
    L"    -javahome <JRE (%s 以降) のインストールディレクトリ>\n"
    L"        指定された Java(TM) 2 Runtime Environment のインストールを\n"
    L"        このアプリケーションで使用します\n"
    L"    -tmpdir <一時ディレクトリ>\n"
    L"        一時ファイルをすべて指定されたディレクトリに置きます\n"
    L"    -log <ログ ファイル>\n"
    L"        診断ログを指定されたファイルに書き込みます\n"
    L"    -h\n"
    L"    -help\n"
    L"        このヘルプメッセージを表示します\n")
CATALOGUE_ENTRY(ja_, checking_disk_space, L"使用可能なディスク容量を確認しています...\n")
CATALOGUE_ENTRY(ja_, performing_cleanup, L"一時ファイルを削除しています...\n")
CATALOGUE_ENTRY(ja_, no_motif_libs, L"エラー: 必要な Motif バイナリが見つかりません。\n")
CATALOGUE_ENTRY(ja_, no_resolve_exec_path, L"エラー: このアプリケーションの絶対パスを解決できませんでした。\n")
CATALOGUE_ENTRY(ja_, setup_already_started, L"別のインストール処理がすでに実行中です。終了します。\n")
CATALOGUE_ENTRY(ja_, missing_writable_dir, L"エラー: '%s' の後には書き込み可能なディレクトリを指定する必要があります。\n")
CATALOGUE_ENTRY(ja_, no_find_exec_dir, L"エラー: 実行ファイルのディレクトリが見つかりませんでした。\n")
CATALOGUE_ENTRY(ja_, setup_no_files, L"エラー: インストールが必要なファイルはありません。\n")
CATALOGUE_ENTRY(ja_, java_aborted, L"エラー: Java(TM) 仮想マシンが異常終了しました。\n")
CATALOGUE_ENTRY(ja_, no_find_java_usage,
    L"このアプリケーションには、バージョン %s 以降の Java(TM) 2 Runtime\n"
    L"Environment が必要です。必要な Java(TM) 2 Runtime Environment が\n"
    L"インストールされていない場合は、次の Web サイトからダウンロードできます:\n"
    L"    %s\n"
    L"必要な Java(TM) 2 Runtime Environment がすでにインストールされている\n"
    L"場合は、次の使用法でこのアプリケーションを再実行してください:\n"
    L"    '%s' -javahome <Java(TM) のインストールディレクトリ>\n")
CATALOGUE_ENTRY(ja_, no_find_specified_java, L"エラー: '%s' に必要なバージョンの Java(TM) 2 Runtime Environment が見つかりませんでした。\n")
CATALOGUE_ENTRY(ja_, executing_java, L"Java(TM) 2 Runtime Environment を起動しています...\n")
CATALOGUE_ENTRY(ja_, no_connect_x11_usage,
    L"環境変数 DISPLAY が正しく設定されていることを確認するか、\n"
    L"次の使用法でこのアプリケーションを再実行してください:\n"
    L"    '%s' -console\n")
CATALOGUE_ENTRY(ja_, need_more_colors,
    L"このコンピュータの表示色は 256 色未満です。このアプリケーションの\n"
    L"ウィンドウを表示するには、256 色以上が必要です。\n"
    L"\n"
    L"このアプリケーションをコンソールモードで実行しますか?\n")
CATALOGUE_ENTRY(ja_, uninstall_already_started, L"別のアンインストール処理がすでに実行中です。終了します。\n")
CATALOGUE_ENTRY(ja_, no_space_system_tmpdir,
    L"\n"
    L"エラー: 一時ディレクトリ '%s' のディスクに十分な空き容量がありません。\n"
    L"%s バイトが必要ですが、使用可能なのは %s バイトだけです。\n")
CATALOGUE_ENTRY(ja_, ok, L"了解")
CATALOGUE_ENTRY(ja_, uninstall_title, L"アンインストール")
CATALOGUE_ENTRY(ja_, no_motif_libs_usage,
    L"環境変数 LD_LIBRARY_PATH に、Motif バイナリのあるディレクトリが\n"
    L"含まれていることを確認してください。\n")
CATALOGUE_ENTRY(ja_, setup_title, L"セットアップ")
CATALOGUE_ENTRY(ja_, no_writable_system_tmpdir_usage,
    L"次の使用法でこのアプリケーションを再実行してください:\n"
    L"    '%s' -tmpdir <一時ディレクトリ>\n")
CATALOGUE_ENTRY(ja_, installusage,
    L"使用法: '%s' [-options]\n"
    L"オプションは次のとおりです:\n"
    L"    -console\n"
    L"        このアプリケーションをコンソールで実行します\n"
    L"    -silent <状態ファイル>\n"
    L"        指定されたファイルの入力を使用して、このアプリケーションをサイレントモードで実行します\n"
    L"    -savestate <状態ファイル>\n"
    L"        状態情報を指定されたファイルに記録します\n"
    L"    -javahome <JRE (%s 以降) のインストールディレクトリ>\n"
    L"        指定された Java(TM) 2 Runtime Environment のインストールを\n"
    L"        このアプリケーションで使用します\n"
    L"    -tmpdir <一時ディレクトリ>\n"
    L"        一時ファイルをすべて指定されたディレクトリに置きます\n"
    L"    -log <ログ ファイル>\n"
    L"        診断ログを指定されたファイルに書き込みます\n"
    L"    -id\n"
    L"        WizardID の値を標準出力に表示します\n"
    L"    -h\n"
    L"    -help\n"
    L"        このヘルプメッセージを表示します\n")
CATALOGUE_ENTRY(ja_, no_find_java, L"エラー: 必要なバージョンの Java(TM) 2 Runtime Environment が見つかりませんでした。\n")
CATALOGUE_ENTRY(ja_, unzipping_java_files, L"Java(TM) 2 Runtime Environment のファイルを展開しています...\n")
CATALOGUE_ENTRY(ja_, yes, L"Yes")
CATALOGUE_ENTRY(ja_, no_writable_dir, L"エラー: '%s' は書き込み可能なディレクトリではありません。\n")
CATALOGUE_ENTRY(ja_, corrupted_zip_file, L"エラー: ファイル '%s' は破損している可能性があります。\n")
CATALOGUE_ENTRY(ja_, no_writable_system_tmpdir, L"エラー: 一時ディレクトリ '%s' は書き込み可能なディレクトリではありません。\n")
CATALOGUE_ENTRY(ja_, no_valid_arg, L"エラー: '%s' は有効な引数ではありません。\n")
CATALOGUE_ENTRY(ja_, no, L"No")
CATALOGUE_ENTRY(ja_, missing_file_name, L"エラー: '%s' の後にはファイル名を指定する必要があります。\n")
CATALOGUE_ENTRY(ja_, no_writable_log, L"エラー: ログ ファイル '%s' に書き込めません。\n")
CATALOGUE_ENTRY(ja_, connecting_x11, L"X11 サーバ '%s' に接続しています。\n")
