// The console lines a user of the cleanup program reads, spelled out for
// tests independently of the product's own copies, so a typo on either side
// shows up as a mismatch.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace zk_test {

inline const wchar_t* const kOpenWarningLine =
    L"警告：machine.config ファイルを開けません。ユーザーが machine.config ファイルの <DbProviderFactories> "
    L"セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";
inline const wchar_t* const kOpenedLine = L"...machine.config ファイルは読み取り/書き込みモードで正常に開かれました。";
inline const wchar_t* const kSizeFailedLine = L"... machine.config ファイルのサイズを取得できません。";
inline const wchar_t* const kSizedLine = L"...machine.config ファイルのサイズを正常に取得しました。";
inline const wchar_t* const kReadWarningLine =
    L"警告：machine.config ファイルの内容をバッファーに読み取れません。ユーザーが machine.config ファイルの "
    L"<DbProviderFactories> セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";
inline const wchar_t* const kReadLine =
    L"...machine.config ファイルの内容を正常にバッファーへ読み取り、ファイルを閉じました。";
inline const wchar_t* const kReopenWarningLine =
    L"警告：machine.config ファイルを編集モードで再度開くことができません。ユーザーが machine.config ファイルの "
    L"<DbProviderFactories> セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";
inline const wchar_t* const kReopenedLine = L"...machine.config ファイルは編集モードで再び正常に開かれました。";
inline const wchar_t* const kEditedLine =
    L"...machine.config ファイルの DbProviderFactories セクションは正常に編集されました。";
inline const wchar_t* const kWriteWarningLine =
    L"警告：ファイルから問題のあるレコードを削除できません。ユーザーが machine.config ファイルの <DbProviderFactories> "
    L"セクションから問題のあるレコードをすべて削除して、手動でファイルを修正する必要があります。";
inline const wchar_t* const kBlankAnnouncementLine =
    L"   ...DbProviderFactories (fix KOVA-2475) から、空白の '<add></add>' "
    L"レコードをすべて検出し、削除しようとしています。";
inline const wchar_t* const kOldAnnouncementLine =
    L"   ...DbProviderFactories (fix KOVA-2633) から、'<add>...invariant=\"Lumtrabex.Data.SqlClient\"...</add>' "
    L"を含んでいる古いレコードをすべて検出し、削除しようとしています。";
inline const wchar_t* const kBlankFoundLine =
    L"      ...空白レコードのインスタンスが見つかりました。削除しようとしています。";
inline const wchar_t* const kBlankDoneLine = L"      ...空白レコードのすべてのインスタンスの削除が完了しました。";
inline const wchar_t* const kBlankNoneLine = L"      ...空白レコードのインスタンスが見つかりません。";
inline const wchar_t* const kOldFoundLine =
    L"      ...以前のレコードのインスタンスが見つかりました。削除しようとしています。";
inline const wchar_t* const kOldDoneLine = L"      ...古いレコードのすべてのインスタンスの削除が完了しました。";
inline const wchar_t* const kOldNoneLine = L"      ...古いレコードのインスタンスが見つかりません。";

inline const wchar_t* const kFixingLines[4] = {
    L"32 ビット .Net CLR 2.0 構成ファイルを修正しています...",
    L"32 ビット .Net CLR 4.0 構成ファイルを修正しています...",
    L"64 ビット .Net CLR 2.0 構成ファイルを修正しています...",
    L"64 ビット .Net CLR 4.0 構成ファイルを修正しています...",
};
inline const wchar_t* const kNotFoundLines[4] = {
    L"32 ビット .NET CLR 2.0 の machine.config "
    L"ファイルは検出されませんでした。クリーンアップをスキップして続行します...",
    L"32 ビット .NET CLR 4.0 の machine.config "
    L"ファイルは検出されませんでした。クリーンアップをスキップして続行します...",
    L"64 ビット .NET CLR 2.0 の machine.config "
    L"ファイルは検出されませんでした。クリーンアップをスキップして続行します...",
    L"64 ビット .NET CLR 4.0 の machine.config "
    L"ファイルは検出されませんでした。クリーンアップをスキップして続行します...",
};
inline const wchar_t* const kSuffixes[4] = {
    L"\\Framework\\v2.0.50727\\CONFIG\\machine.config",
    L"\\Framework\\v4.0.30319\\Config\\machine.config",
    L"\\Framework64\\v2.0.50727\\CONFIG\\machine.config",
    L"\\Framework64\\v4.0.30319\\Config\\machine.config",
};

inline const wchar_t* const kLinkLine =
    L"      ...machine.config ファイルはリンク (再解析ポイント) のため、リンクをたどらずにそのままにしました。"
    L"リンク先のファイルを手動で修正する必要があります。";
inline const wchar_t* const kElevationLine =
    L"      ...プログラムは管理者特権で実行されていません。管理者として実行したコマンド プロンプトから"
    L"もう一度実行する必要があります。";
inline const wchar_t* const kLeftoverWarningLine =
    L"警告：machine.config ファイルには、削除できなかった古いプロバイダー (invariant=\"Lumtrabex.Data.SqlClient\") "
    L"のレコードが残っています。ユーザーが machine.config ファイルの <DbProviderFactories> "
    L"セクションからそれらのレコードを手動で削除する必要があります。";
inline const wchar_t* const kWow64WarningLine =
    L"警告：このシステムは 64 ビット版の Windows です。このプログラムは 64 ビット .NET (Framework64) の "
    L"machine.config ファイルを確認していません。このシステムでは provsweep64.exe を実行する必要があります。";
inline const wchar_t* const kUsageFirstLine = L"使用方法: provsweep64.exe [/check]";
inline const wchar_t* const kBadArgumentLine =
    L"警告：認識できない引数が指定されました。ファイルは何も変更していません。引数:";

// The line /check prints for a file in place of the reopen and write.
inline std::wstring checkVerdictLine(std::size_t blank, std::size_t old41, std::size_t old40) {
  const bool change = blank + old41 + old40 != 0;
  return std::wstring(change ? L"...検査のみ (/check): machine.config ファイルは修正が必要です。"
                             : L"...検査のみ (/check): machine.config ファイルは修正の必要がありません。") +
         L"削除されるレコード: 空白レコード " + std::to_wstring(blank) + L" 件、古いレコード (Version=4.1.0.0) " +
         std::to_wstring(old41) + L" 件、古いレコード (Version=4.0.0.0) " + std::to_wstring(old40) + L" 件。";
}

// The lines for copies left beside the file, each naming full paths.
inline std::wstring leftoverLine(const std::wstring& path) {
  return L"...一時ファイル " + path + L" を削除できませんでした。次回の実行時に削除されます。";
}
inline std::wstring restoredLine(const std::wstring& path) {
  return L"...前回の実行で残されたファイル " + path + L" を machine.config ファイルとして元に戻しました。";
}
// kept: each path with whether it holds the original content.
inline std::wstring keptLine(const std::vector<std::pair<std::wstring, bool>>& kept) {
  std::wstring line =
      L"...machine.config ファイルを完全な状態に戻せなかったため、次のファイルを残しました。"
      L"手動で machine.config に戻してください: ";
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i != 0) line += L"、";
    line += kept[i].first + (kept[i].second ? L" (元の内容)" : L" (修正後の内容)");
  }
  return line + L"。";
}

// The lines of one file that is read, cleaned and written back, given how
// many occurrences each of the three passes deletes.
inline std::vector<std::wstring> successfulCleanupLines(std::size_t blank, std::size_t old41, std::size_t old40) {
  std::vector<std::wstring> lines = {kOpenedLine, kSizedLine, kReadLine};
  auto pass = [&lines](const wchar_t* announcement, std::size_t count, const wchar_t* found, const wchar_t* done,
                       const wchar_t* none) {
    lines.push_back(announcement);
    for (std::size_t i = 0; i < count; ++i) lines.push_back(found);
    lines.push_back(count != 0 ? done : none);
  };
  pass(kBlankAnnouncementLine, blank, kBlankFoundLine, kBlankDoneLine, kBlankNoneLine);
  pass(kOldAnnouncementLine, old41, kOldFoundLine, kOldDoneLine, kOldNoneLine);
  pass(kOldAnnouncementLine, old40, kOldFoundLine, kOldDoneLine, kOldNoneLine);
  lines.push_back(kReopenedLine);
  lines.push_back(kEditedLine);
  return lines;
}

// The lines of one file that /check reads and finds so.
inline std::vector<std::wstring> checkedLines(std::size_t blank, std::size_t old41, std::size_t old40) {
  std::vector<std::wstring> lines = successfulCleanupLines(blank, old41, old40);
  lines.resize(lines.size() - 2);
  lines.push_back(checkVerdictLine(blank, old41, old40));
  return lines;
}

}  // namespace zk_test
