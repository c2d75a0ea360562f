#pragma once
// CDataDevice: the files of one instrument below its device-type group (node type 8, image
// 24, label "SN%05d" with the serial number, key the serial number, flag 0).

#include "site/QorList.h"

#include <cstdint>

class CDataDevice : public CQorList {
public:
    explicit CDataDevice(uint32_t serialNumber);
};
