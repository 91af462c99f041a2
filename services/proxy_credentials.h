// The credential box shown when a proxy asks the setup to authenticate (407).
#pragma once

#include <windows.h>
#include <wincred.h>

#include <string>

// Asks the user for proxy credentials, the update server's host as target.
// `user` and `password` are caller buffers of 256 bytes; they are filled (the
// user name as ProxyUserName gives it, both cut to 255 bytes and NUL-ended)
// only when the result is 0. 1223 when the user cancelled, another error code
// on failure.
DWORD PromptProxyCredentials(char* user, char* password);

// The user name to send to the proxy. A generic user can come back from the
// box as the target + "\" + the name typed (Wine does so), and a proxy with
// Basic authentication refuses that whole name: the text after that prefix
// (the target compared without case) is the name. Any other name, "DOMAIN\user"
// included, is sent as typed.
std::string ProxyUserName(const std::string& returned, const std::string& target);

// Test seam: replaces the credential box call (null restores the real one).
using CredentialPromptFunction = decltype(&CredUIPromptForCredentialsW);
void SetCredentialPromptForTesting(CredentialPromptFunction prompt);
