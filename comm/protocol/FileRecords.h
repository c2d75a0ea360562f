#pragma once

// File transfer and firmware upload of the current command set: command codes, request and
// reply layouts, and the decoder of the file-size reply.
//
// A device keeps its logged data and some settings as files named by two characters (a
// test's data file: the test number as two decimal digits), and takes firmware as an image
// written into a staging area of its flash memory (page sizes and the staging page by
// device model: comm/protocol/TkDeviceModels.h).
//
//   223  file size      request "2(c)" name                          reply "l" size
//   225  read file      request "2(c)li" name, offset, length         reply the bytes, raw
//   220  write block    request "ii" page, offset in the page, then the data bytes
//   208  program image  request "i" first page of the staged image

#include "comm/protocol/TkBody.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

class CTkPacket;

constexpr uint16_t kTkCmdProgramImage = 208;
constexpr uint16_t kTkCmdWriteBlock = 220;
constexpr uint16_t kTkCmdFileSize = 223;
constexpr uint16_t kTkCmdReadFile = 225;

inline constexpr const char* kTkFileNameLayout = "2(c)";
inline constexpr const char* kTkFileSizeLayout = "l";
inline constexpr const char* kTkReadFileLayout = "2(c)li";
inline constexpr const char* kTkWriteBlockLayout = "ii";  // the data follow unconverted
inline constexpr const char* kTkProgramImageLayout = "i";

// The small settings file that carries the SDI-12 flag (CTkSession::ReadFileD2).
inline constexpr const char* kTkD2FileName = "D2";
// Longest block of one command 220.
constexpr size_t kTkMaxUploadBlock = 264;

// True when name is a device file name (two characters).
constexpr bool TkIsDeviceFileName(std::string_view name) { return name.size() == 2; }

// The request body of command 225 in the host's order (kTkReadFileLayout).
TkBodyWriter EncodeReadFileRequest(std::string_view name, uint32_t offset, uint16_t length);

// 223: the file's size.
int TkDecodeFileSizeReply(CTkPacket& reply, uint32_t& size);
