#pragma once
// Every themed control, for callers that use many of them.

#include "controls/kv_bmp_button.h"
#include "controls/kv_buttons.h"
#include "controls/kv_checks.h"
#include "controls/kv_labels.h"
#include "controls/kv_page_control.h"
#include "controls/kv_tab_buttons.h"
#include "controls/kv_panels.h"
#include "controls/kv_spin_edit.h"
#include "controls/kv_status.h"
#include "controls/kv_trackbar.h"
