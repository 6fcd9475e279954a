// How the download procedure asks for the computer to be restarted, which after a failed
// write is the only way the drive starts its old code again. The library asks Windows;
// another front end says so to its user. Free of <windows.h>.
#pragma once

class RestartRequest {
public:
    virtual void RequestRestart() = 0;

protected:
    ~RestartRequest() = default;
};
