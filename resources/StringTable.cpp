#include "resources/StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

// Only the ids that the program loads. 20 and 21 are not captions: they name
// the face and the character set of the font that translated controls take.
// 1102 (the about box disclaimer) is deliberately empty in both languages.
constexpr StringTable::Entry Entries[] = {
    {20, u"Ms Sans Serif", u"ＭＳ Ｐゴシック"},
    {21, u"0", u"128"},
    {1102, u"", u""},
    {1207, u"&OK", u"&OK"},
    {2102, u"&File", u"ファイル(&F)"},
    {2103, u"&New", u"新規(&N)"},
    {2104, u"&Open", u"開く(&O)"},
    {2105, u"&Save", u"保存(&S)"},
    {2106, u"Save &As...", u"名前を付けて保存(&A)"},
    {2107, u"E&xit", u"終了(&x)"},
    {2125, u"&Help", u"ヘルプ(&H)"},
    {2126, u"&Index", u"インデックス(&I)"},
    {2127, u"Velder on the &Web", u"Velder社ウェッブサイト(&W)"},
    {2128, u"&About...", u"バージョン情報(&A)"},
    {2129, u"&Close", u"閉じる(&C)"},
    {2130, u"&Options...", u"オプション(&O)"},
    {2131, u"&Window", u"ウィンドウ(&W)"},
    {2132, u"&Cascade", u"重ねて表示(&C)"},
    {2133, u"Tile &Horizontal", u"上下に並べる(&H)"},
    {2134, u"Tile &Vertical", u"左右に並べる(&V)"},
    {2135, u"&Arrange Icons", u"アイコンの整列(&A)"},
    {2136, u"&Search for help on...", u"検索(&S)"},
    {2138, u"&Open Ombrix", u"Ombrixを開く(&O)"},
    {2139, u"&Hide Ombrix", u"Ombrixを隠す(&H)"},
    {2140, u"E&xit Ombrix", u"Ombrixの終了(&x)"},
    {2141, u"&About Ombrix", u"バージョン情報(&A)"},
    {2142, u"About Ombrix", u"バージョン情報(&A)"},
    {2143, u"RS232 Serial Data Logger", u"RS232 シリアルデータロガー"},
    {2158, u"Log inbound serial data to file:", u"受信シリアルデータをファイルに保存:"},
    {2159, u"Activate", u"アクティブ化"},
    {2160, u"De-Activate", u"非アクティブ化"},
    {2161, u"Status:", u"ステータス:"},
    {2162, u"Closed", u"切断"},
    {2163, u"Open", u"開く"},
    {2167, u"Error", u"エラー"},
    {2170, u"Disk File I/O:", u"ディスクファイル I/O:"},
    {2201, u"Serial Port Settings:", u"シリアルポート設定:"},
    {2202, u"&Connector", u"コネクタ(&C)"},
    {2203, u"&Baud Rate", u"ボーレート(&B)"},
    {2204, u"&Parity", u"パリティ(&P)"},
    {2205, u"None", u"なし"},
    {2206, u"Odd", u"奇数"},
    {2207, u"Even", u"偶数"},
    {2208, u"Mark", u"マーク"},
    {2209, u"Space", u"スペース"},
    {2210, u"&Data Bits", u"データ長(&D)"},
    {2211, u"&Stop Bits", u"ストップビット(&S)"},
    {2212, u"&Flow Control", u"フロー制御(&F)"},
    {2219, u"&Password...", u"パスワード(&P)"},
    {4030, u"Device Not Available.", u"デバイスが有効ではありません。"},
    {4200, u"&Serial Ports...", u"シリアルポート(&S)..."},
    {4201, u"Serial Ports", u"シリアルポート"},
    {4202, u"%1: %2, connected", u"%1: %2、接続中"},
    {4203, u"%1: %2, not connected", u"%1: %2、未接続"},
    {4204, u"%1: network port %2", u"%1: ネットワークポート %2"},
    {4205, u"To change it, right-click the Connector list and choose Serial Ports.",
     u"変更するには、［コネクタ］一覧を右クリックして［シリアルポート］を選びます。"},
    {4206, u"Number", u"番号"},
    {4207, u"Device or address", u"デバイスまたはアドレス"},
    {4208, u"Description", u"説明"},
    {4209, u"Present", u"接続"},
    {4210, u"yes", u"あり"},
    {4211, u"no", u"なし"},
    {4212, u"&Devices and numbers:", u"デバイスと番号(&D):"},
    {4213, u"&Give it number:", u"割り当てる番号(&G):"},
    {4214, u"&Change Number", u"番号を変更(&C)"},
    {4215, u"COM &number:", u"COM番号(&N):"},
    {4216, u"&Path or address:", u"パスまたはアドレス(&P):"},
    {4217, u"&Set", u"設定(&S)"},
    {4218, u"&Remove Entry", u"エントリを削除(&R)"},
    {4219, u"Close", u"閉じる"},
    {4220,
     u"Changes take effect when a session is next activated, and at once for a session waiting for its "
     u"device to return.",
     u"変更は、次にセッションをアクティブ化したときに有効になります。デバイスの復帰を待っているセッションには"
     u"すぐに有効になります。"},
    {4221, u"COM%1 is in use by an active session and cannot be changed; de-activate that session first.",
     u"COM%1 "
     u"はアクティブなセッションが使用中のため変更できません。先にそのセッションを非アクティブ化してください"
     u"。"},
    {4222, u"Type a device path or a network address first.",
     u"先にデバイスのパスまたはネットワークアドレスを入力してください。"},
    {4223, u"COM%1 now opens %2.", u"COM%1 は %2 を開きます。"},
    {4224, u"The entry of COM%1 was removed; it opens %2.",
     u"COM%1 のエントリを削除しました。%2 を開きます。"},
    {4225, u"(none)", u"(なし)"},
    {4226, u"The port map cannot be written: %1", u"ポートの割り当てを保存できません: %1"},
    {4227, u"network port", u"ネットワークポート"},
    {4230, u"Connecting", u"接続しています"},
    {4240,
     u"The configuration %1 starts a program whenever an error occurs:\n\nProgram: %2\nArguments: %3\n\n"
     u"Start this program on errors? Choose Yes only if you trust the file. Logging goes on meanwhile; "
     u"the program does not start before you choose Yes.",
     u"構成ファイル %1 は、エラーが起きるたびに次のプログラムを起動します:\n\nプログラム: %2\n引数: %3\n\n"
     u"エラー時にこのプログラムを起動しますか? ファイルを信頼できる場合にだけ［はい］を選んでください。"
     u"その間も記録は続きます。［はい］を選ぶまでプログラムは起動しません。"},
    {4241, u"&Yes", u"はい(&Y)"},
    {4242, u"&No", u"いいえ(&N)"},
};

static_assert(std::ranges::adjacent_find(Entries,
                                         [](const auto &a, const auto &b) { return a.id >= b.id; }) ==
                  std::end(Entries),
              "entries must be in strictly ascending id order for the binary search");

} // namespace

namespace StringTable {

std::span<const Entry> entries()
{
    return Entries;
}

const Entry *find(int id)
{
    const auto it = std::ranges::lower_bound(Entries, id, {}, &Entry::id);
    return it != std::end(Entries) && it->id == id ? it : nullptr;
}

} // namespace StringTable
