// The whole public interface of libxrdb8.
#pragma once

#include "xrdb8/export.h"
#include "xrdb8/flat.h"
#include "xrdb8/frame.h"
#include "xrdb8/types.h"
#include "xrdb8/interchange.h"
#include "xrdb8/lists.h"
#include "xrdb8/records_common.h"
#include "xrdb8/records_config.h"
#include "xrdb8/records_customers.h"
#include "xrdb8/records_master.h"
#include "xrdb8/records_payment.h"
#include "xrdb8/records_products.h"
#include "xrdb8/records_sysvalues.h"
#include "xrdb8/records_tables.h"
#include "xrdb8/setup.h"
#include "xrdb8/xrtable.h"
