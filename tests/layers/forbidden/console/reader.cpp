// A console that reads the line of a message itself.
unsigned lineOf(const Message& msg)
{
    return msg.params().get_uint("line_id", 0);
}
