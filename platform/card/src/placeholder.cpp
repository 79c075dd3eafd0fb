// placeholder until the card model lands
