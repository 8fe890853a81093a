# Main window, tray icon, menu, resources and the executable.
