#pragma once

#include <string>

#include <QString>

namespace quillmere {

// The application: one per process, created by main once Qt has taken its own options
// from the command line.
class CQuillmereApp {
 public:
  // Names the application and its profile, takes the configuration path from the
  // command line, and runs the main window until it closes. argv is the command line
  // without Qt's own options. Returns false: the process ends with the window.
  bool InitInstance(int argc, char** argv);

  // The version service the main window asks for another release; empty: none.
  std::string m_strUpdateServer;
};

// The configuration path of a command line: the arguments after the program name joined
// by single blanks, taken as they are (the shell has already removed any quotes). Empty
// when there are none.
std::string CommandLineConfigPath(int argc, char** argv);

// The application name: the program file's name without its extension.
QString ApplicationNameOf(const QString& strProgramPath);

// The company key under which the profile is stored.
inline constexpr char kCompanyKey[] = "Brantlow";

}  // namespace quillmere
