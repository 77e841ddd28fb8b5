NUM_LINES=12
ADMIN_PASSWORD=verysecret
MODE=studio
WEB_PASSWORD=another one
