#include "common/Messages.h"

#include <array>

namespace dravik {

namespace {

// Every text the visitor sees can be replaced in Dravik.ini under its key.
constexpr std::array<MessageDefault, 37> kMessages{{
    {"msg2", "展示会招待コードを入力して下さい"},
    {"msg3", "招待コードは数字12桁です。\n再入力して下さい。"},
    {"msg4", "登録メールアドレスを入力して下さい"},
    {"msg5", "招待コードが利用できません"},
    {"msg6", "招待コードに誤りがある"},
    {"msg7", "展示会が見つからない"},
    {"msg8", "ブースが見つからない"},
    {"msg9", "招待コードが見つからない"},
    {"msg10", "ブースが非表示になっている"},
    {"msg11", "展示会の開催期間外"},
    {"msg12", "メールアドレスが登録されていません"},
    {"msg13", "既に起動しています"},
    {"msg20", "バーチャル展示アプリの本体をダウンロードします。(msg20)"},
    {"msg21", "インターネット接続を確認して下さい。(msg21)"},
    {"msg22", "セットアップ成功"},
    {"msg23", "新しいバージョンがあります"},
    {"msg24", "現在のバージョン"},
    {"msg25", "新しいバージョン"},
    {"msg26", "更新しますか？"},
    {"msg27", "更新できません"},
    {"msg28", "しばらくお待ちください"},
    {"msg29", "ダウンロード中"},
    {"msg30", "ダウンロードに失敗しました"},
    {"msg31", "フォルダのリネームに失敗しました"},
    {"msg32", "更新中"},
    {"msg33", "更新に失敗しました"},
    {"msg34", "更新完了"},
    {"msg35", "リセット"},
    {"msg36", "新規登録URL"},
    {"msg37", "各種設定値を規定値に戻す"},
    {"msg38", "会場キャッシュデータを削除"},
    {"msg39", "再配布用に本体アプリを削除（最新版の再ダウンロード）"},
    {"msg40", "※すべてをリセットしてから再配布する事ができます。"},
    {"msg41", "表示されているメールアドレスを削除"},
    {"msg42", "表示されている招待コードを削除"},
    {"Background_Loading", "OFF"},
    {"msg1", ""},
}};

} // namespace

std::string_view defaultMessage(std::string_view key) {
    for (const auto& message : kMessages)
        if (message.key == key)
            return message.text;
    return {};
}

} // namespace dravik
