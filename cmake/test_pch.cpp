// The shared precompiled headers of the Windows tests are built from this file.
