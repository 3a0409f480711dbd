#pragma once

// A Windows GUI program starts without a console, so --help, --version and
// usage errors would print nowhere. Started from a console, it borrows its
// parent's for the streams that lead nowhere; a stream redirected to a file
// or a pipe stays as it is. Does nothing on other systems.
void attachToParentConsole();
