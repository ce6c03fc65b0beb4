// Resource identifiers of the connector.
#pragma once

#define IDR_KESTRELCHILD 103
#define IDD_RDP_SESSION 105
#define IDR_MAINFRAME 128
#define IDC_RDP_CONTROL 1000
