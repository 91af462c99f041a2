// Where every download continues: the delegate operations of the one request
// in flight, the credential box and the saving of a package. What an answer
// means is decided in server_answers.h.
#pragma once

#include <windows.h>

#include <string>

// Shows the proxy credential box. Confirmed: logs "[  INFO] Proxy credential
// set", fills both texts and returns true. Otherwise false, the texts as they
// were; a failed box is logged with its code (and counts as a cancel).
bool AskForProxyCredentials(std::string* user, std::string* password);

// Writes the whole body to the file (created or truncated, binary). A failed
// write is logged as "[**  ERR] Cannot store package " with what failed, and
// gives false.
bool SavePackage(const std::string& path, const std::string& body);
