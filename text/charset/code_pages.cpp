#include "text/charset/code_pages.h"

namespace zk::text::charset {

namespace {

const CodePageRow kCodePageTable[] = {
    {L"CP1250", 1250}, {L"CP1251", 1251}, {L"CP1253", 1253}, {L"CP1254", 1254}, {L"CP1255", 1255}, {L"CP1256", 1256},
    {L"CP1257", 1257}, {L"CP1258", 1258}, {L"CP720", 720},   {L"CP737", 737},   {L"CP775", 775},   {L"CP850", 850},
    {L"CP852", 852},   {L"CP855", 855},   {L"CP857", 857},   {L"CP858", 858},   {L"CP862", 862},   {L"CP866", 866},
    {L"CP932", 932},   {L"CP936", 936},   {L"CP949", 949},   {L"CP950", 950},   {L"EUCJP", 20932}, {nullptr, 0},
};

const CodePageAliasRow kCodePageAliasTable[] = {
    {L"EUC-JP", L"EUCJP"},        {L"EUC_JP", L"EUCJP"},        {L"WINDOWS-31J", L"CP932"},
    {L"MS932", L"CP932"},         {L"GB2312", L"CP936"},        {L"KS_C_5601-1987", L"CP949"},
    {L"BIG5", L"CP950"},          {L"WINDOWS-1250", L"CP1250"}, {L"WINDOWS-1251", L"CP1251"},
    {L"WINDOWS-1253", L"CP1253"}, {L"WINDOWS-1254", L"CP1254"}, {L"WINDOWS-1255", L"CP1255"},
    {L"WINDOWS-1256", L"CP1256"}, {L"WINDOWS-1257", L"CP1257"}, {L"WINDOWS-1258", L"CP1258"},
    {nullptr, nullptr},
};

}  // namespace

const CodePageRow* codePageTable() noexcept { return kCodePageTable; }

const CodePageAliasRow* codePageAliasTable() noexcept { return kCodePageAliasTable; }

}  // namespace zk::text::charset
