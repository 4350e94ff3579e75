// Win32 back end of the platform layer: to be filled by the Windows build work.
#error "The Win32 back end is not written yet."
