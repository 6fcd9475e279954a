// Resource identifiers of the drive chooser, shared by DriveChoice.rc and DriveChoice.cpp.
#pragma once

#define IDD_DRIVE_CHOICE 200
#define IDC_DRIVE_LIST 201
