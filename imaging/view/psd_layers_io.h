#pragma once

// Lets the I/O component load PSD layers into a view and save a view's layers.
void QxInstallPsdLayerHooks();
