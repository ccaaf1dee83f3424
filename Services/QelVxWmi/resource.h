#pragma once
#define IDS_SERVICENAME 100
#define IDS_DESCRIPTION 101
