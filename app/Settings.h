#pragma once

namespace qp::settings {

// Every value lives in this one section of the per-user store.
inline constexpr const char* kSection = "Quillpost";

inline constexpr const char* kLogin = "ln";
inline constexpr const char* kPin = "ps";
inline constexpr const char* kHost = "host";
inline constexpr const char* kPort = "port";
inline constexpr const char* kPortWritten = "p";
inline constexpr const char* kNotifyEmail = "notifyemail";
inline constexpr const char* kResolution = "res";
inline constexpr const char* kLegal = "legal";
inline constexpr const char* kTiffViewer = "tiffviewer";
inline constexpr const char* kTiffViewerParams = "tiffviewerparams";
inline constexpr const char* kCoverTo = "cvrto";
inline constexpr const char* kCoverRe = "cvrre";
inline constexpr const char* kCoverFrom = "cvrfrom";
inline constexpr const char* kCoverFax = "cvrfax";
inline constexpr const char* kCoverPhone = "cvrphn";
inline constexpr const char* kCoverNote = "cvrnote";
inline constexpr const char* kCoverDisclosure = "cvrdisc";

// The service's fax server, used until the user enters another.
inline constexpr const char* kDefaultFaxHost = "fax.tamarindworks.net";
inline constexpr int kDefaultFaxPort = 7541;
inline constexpr const char* kDefaultResolution = "fine";
inline constexpr const char* kDefaultLegal = "false";

} // namespace qp::settings
