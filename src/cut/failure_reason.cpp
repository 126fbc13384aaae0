#include "cut/failure_reason.h"

namespace cut {

using namespace media;

std::string failureReason(HRESULT hr) {
    if (hr == kSourceChanged) {
        return "元のファイルがサムネイルを作った後に変更されています";
    }
    if (hr == kNoVideoStream) {
        return "映像がありません";
    }
    if (hr == E_ACCESSDENIED || hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) {
        return "アクセスが許可されていません";
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_DISK_FULL)) {
        return "ディスクの空きが足りません";
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
        return "保存先のフォルダがありません";
    }
    if (hr == NS_E_FILE_NOT_FOUND || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
        return "ファイルがありません";
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) {
        return "保存先に同じ名前のファイルができています";
    }
    if (hr == NS_E_DRM_NO_RIGHTS) {
        return "保護されたファイルです";
    }
    if (hr == NS_E_INVALID_REQUEST) {
        return "残す部分がキーフレームから始まりません (元のファイルが変更されていませんか)";
    }
    if (hr == ASF_E_NOHEADEROBJECT || hr == ASF_E_INVALIDHEADER || hr == ASF_E_NODATAOBJECT ||
        hr == ASF_E_BADDATAUNIT || hr == ASF_E_WRONGVERSION || hr == ASF_E_UNKNOWNPACKETSIZE ||
        hr == HRESULT_FROM_WIN32(ERROR_INVALID_DATA) ||
        hr == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)) {
        return "Windows Media ファイルではないか、壊れています";
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_WRITE_FAULT) || hr == ASF_E_WRITEFAILED) {
        return "書き込みに失敗しました";
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_READ_FAULT)) {
        return "読み込みに失敗しました";
    }
    return "処理に失敗しました (" + hresultText(hr) + ")";
}

}  // namespace cut
