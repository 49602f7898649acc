# The client runs with a German locale (the runner starts it from this
# shell). The machine need not have that locale installed: the client takes
# the name and formats through ICU; the shell's own complaint is hushed.
{ export LC_ALL=de_DE.UTF-8; } 2>/dev/null
