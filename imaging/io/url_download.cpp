#include "imaging/io/url_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <mutex>

#include "imaging/foundation/helpers.h"
#include "platform/base/streams.h"

int64_t QxMaxDownloadSize = int64_t(1) << 30;

namespace {
thread_local std::string GDownloadError;
}

std::string QxDownloadError() { return GDownloadError; }

void QxLoadWinInet() {
  static std::once_flag Once;
  std::call_once(Once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// curl keeps its global state until the process ends; nothing is left to release per call.
void QxFreeWinInet() {}

namespace {

struct TTransfer {
  TMemoryStream* Dest;
  CURL* Curl;
  const TQxDownloadProgress* OnProgress;
  TObject* Sender;
  std::atomic<bool>* Aborting;
  bool Cut = false;  // more arrived than was announced or allowed
};

size_t OnData(char* Data, size_t Size, size_t Count, void* User) {
  auto* T = static_cast<TTransfer*>(User);
  const int64_t N = static_cast<int64_t>(Size * Count);
  curl_off_t Announced = -1;
  curl_easy_getinfo(T->Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &Announced);
  int64_t Limit = QxMaxDownloadSize;
  if (Announced >= 0) Limit = std::min<int64_t>(Limit, Announced);
  const int64_t Have = T->Dest->Size();
  const int64_t Take = std::max<int64_t>(0, std::min(N, Limit - Have));
  if (Take > 0) T->Dest->Write(Data, Take);
  if (Announced > 0 && *T->OnProgress)
    (*T->OnProgress)(T->Sender, static_cast<int32_t>(T->Dest->Size() * 100 / Announced));
  if (Take < N) {
    // Never more than was announced, or than the limit allows: the transfer ends here.
    T->Cut = true;
    return 0;
  }
  return static_cast<size_t>(N);
}

int OnTick(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* T = static_cast<TTransfer*>(User);
  return T->Aborting && T->Aborting->load() ? 1 : 0;
}

}  // namespace

bool QxDownloadURL(const std::string& URL, TMemoryStream& Dest, const std::string& ProxyAddress,
                   const std::string& ProxyUser, const std::string& ProxyPassword, const TQxDownloadProgress& OnProgress,
                   TObject* Sender, std::atomic<bool>* Aborting, std::string& ContentExt) {
  ContentExt.clear();
  GDownloadError = "not an http, https or ftp address with a path";
  const int32_t Kind = QxURLKindW(URL);
  if (Kind != 1 && Kind != 2 && Kind != 3) return false;
  const bool Ftp = Kind == 3;
  const size_t SchemeEnd = URL.find("://") + 3;
  const size_t Slash = URL.find('/', SchemeEnd);
  if (Slash == std::string::npos) return false;
  std::string Host = URL.substr(SchemeEnd, Slash - SchemeEnd);
  std::string Address = URL;
  const size_t At = Host.find('@');
  if (At != std::string::npos) {
    if (Host.find(':') == std::string::npos || Host.find(':') > At) return false;
    // Behind a proxy the address's own credentials are not sent.
    if (!ProxyAddress.empty()) Address = URL.substr(0, SchemeEnd) + Host.substr(At + 1) + URL.substr(Slash);
  }
  QxLoadWinInet();
  CURL* C = curl_easy_init();
  if (!C) return false;
  TTransfer T{&Dest, C, &OnProgress, Sender, Aborting};
  curl_easy_setopt(C, CURLOPT_URL, Address.c_str());
  // The address's own scheme only; a redirect may move between http and https, never elsewhere.
  curl_easy_setopt(C, CURLOPT_PROTOCOLS_STR, Ftp ? "ftp" : "http,https");
  curl_easy_setopt(C, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(C, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(C, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(C, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(C, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(C, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(C, CURLOPT_WRITEFUNCTION, OnData);
  curl_easy_setopt(C, CURLOPT_WRITEDATA, &T);
  curl_easy_setopt(C, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(C, CURLOPT_XFERINFOFUNCTION, OnTick);
  curl_easy_setopt(C, CURLOPT_XFERINFODATA, &T);
  if (!ProxyAddress.empty()) {
    curl_easy_setopt(C, CURLOPT_PROXY, ProxyAddress.c_str());
    curl_easy_setopt(C, CURLOPT_PROXYUSERNAME, ProxyUser.c_str());
    curl_easy_setopt(C, CURLOPT_PROXYPASSWORD, ProxyPassword.c_str());
    curl_easy_setopt(C, CURLOPT_USERAGENT, "Mozilla/4.*");
  }
  const CURLcode R = curl_easy_perform(C);
  GDownloadError = R == CURLE_OK ? "" : curl_easy_strerror(R);
  char* Type = nullptr;
  if (Ftp) {
    // No content type over ftp: the file name's extension, lower case, at most 10 characters.
    const std::string Name = URL.substr(URL.rfind('/') + 1);
    const size_t Dot = Name.rfind('.');
    if (Dot != std::string::npos)
      for (char Ch : Name.substr(Dot + 1, 10)) ContentExt += static_cast<char>(std::tolower(static_cast<unsigned char>(Ch)));
  } else if (curl_easy_getinfo(C, CURLINFO_CONTENT_TYPE, &Type) == CURLE_OK && Type) {
    std::string S = Type;
    const size_t Sl = S.find('/');
    if (Sl != std::string::npos) ContentExt = S.substr(Sl + 1, S.find(';') == std::string::npos ? std::string::npos : S.find(';') - Sl - 1);
  }
  curl_easy_cleanup(C);
  // A transfer that started and then broke, was cut or aborted still took place: the load that follows
  // finds its data incomplete. Failures to reach the resource did not.
  switch (R) {
    case CURLE_OK:
    case CURLE_ABORTED_BY_CALLBACK: return true;
    case CURLE_WRITE_ERROR: return T.Cut;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_OPERATION_TIMEDOUT: return Dest.Size() > 0;
    default: return false;
  }
}
