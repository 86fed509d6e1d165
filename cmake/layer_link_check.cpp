// Linked with one layer's whole archive and the layers below it, nothing
// else: the link fails if any code of that layer calls into a layer above.
int main() { return 0; }
