// The credential box shown when a proxy asks the setup to authenticate (407).
#pragma once

#include <windows.h>
#include <wincred.h>

// Asks the user for proxy credentials, the update server's host as target.
// `user` and `password` are caller buffers of 256 bytes; they are filled (cut
// to 255 bytes and NUL-ended) only when the result is 0. 1223 when the user
// cancelled, another error code on failure.
DWORD PromptProxyCredentials(char* user, char* password);

// Test seam: replaces the credential box call (null restores the real one).
using CredentialPromptFunction = decltype(&CredUIPromptForCredentialsW);
void SetCredentialPromptForTesting(CredentialPromptFunction prompt);
