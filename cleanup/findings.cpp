#include "cleanup/findings.h"

namespace zk::cleanup {

const wchar_t* const kLeftoverWarning =
    L"警告：machine.config ファイルには、削除できなかった古いプロバイダー (invariant=\"Lumtrabex.Data.SqlClient\") "
    L"のレコードが残っています。ユーザーが machine.config ファイルの <DbProviderFactories> "
    L"セクションからそれらのレコードを手動で削除する必要があります。";

int combineExitCode(int soFar, FileVerdict verdict) noexcept {
  const int code = verdict == FileVerdict::kUnreadable ? 2 : verdict == FileVerdict::kChange ? 1 : 0;
  return code > soFar ? code : soFar;
}

std::wstring checkVerdictLine(const PassCounts& counts) {
  const bool change = counts.blank != 0 || counts.old41 != 0 || counts.old40 != 0;
  std::wstring line = change ? L"...検査のみ (/check): machine.config ファイルは修正が必要です。"
                             : L"...検査のみ (/check): machine.config ファイルは修正の必要がありません。";
  line += L"削除されるレコード: 空白レコード ";
  line += std::to_wstring(counts.blank);
  line += L" 件、古いレコード (Version=4.1.0.0) ";
  line += std::to_wstring(counts.old41);
  line += L" 件、古いレコード (Version=4.0.0.0) ";
  line += std::to_wstring(counts.old40);
  line += L" 件。";
  return line;
}

bool holdsOldProviderRecords(std::string_view text) noexcept {
  return text.find("invariant=\"Lumtrabex.Data.SqlClient") != std::string_view::npos;
}

}  // namespace zk::cleanup
