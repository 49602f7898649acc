# The offline script's screenshot lands here.
SHOTS=$work
