// Pictures fetched from an address: the whole resource is downloaded into memory and then loaded like
// any other stream. Transfers go through libcurl with certificate checks on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class TMemoryStream;
class TObject;

using TQxDownloadProgress = std::function<void(TObject* Sender, int32_t Percent)>;

// The most a download may bring, whatever the server announces; callers may change it.
extern int64_t QxMaxDownloadSize;

// Downloads an http or https address into Dest. Returns true when a transfer took place (possibly cut
// short by Aborting or by a broken connection, so that what follows finds the data incomplete); false
// for another scheme, an address without a path, a failed connection or an error status. ContentExt is
// the subtype of the content type ("png" for image/png). A proxy, when given, is used with its own user
// and password, and the address's own are then left out. Never raises for network errors.
bool QxDownloadURL(const std::string& URL, TMemoryStream& Dest, const std::string& ProxyAddress,
                   const std::string& ProxyUser, const std::string& ProxyPassword, const TQxDownloadProgress& OnProgress,
                   TObject* Sender, std::atomic<bool>* Aborting, std::string& ContentExt);

// Start and end of the transfer library, once per process (the I/O unit's start-up and shutdown).
void QxLoadWinInet();
void QxFreeWinInet();
